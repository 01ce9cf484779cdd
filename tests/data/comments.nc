/* a block comment
   over three lines
   ends here */ G1 X 1
G2 /* inline */ Y 2 // trailing
// a line comment \
continued by the backslash
X 3

/* open again

still open */
; N10 G1 X 5
