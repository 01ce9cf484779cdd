#define FEED 300
  #if X 5 /* not a keyword on a directive line */
G1 X 5
#include "part.nc" \
   still the directive G1
"a string with G1 \" inside" X 2
'c' Y 3 "open string \
goes on" Z 4
