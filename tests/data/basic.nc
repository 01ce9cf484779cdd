%
O1000 (FACE MILL)
N10 G1 X 5 ; rapid
N20 G1 X10.5 Y-2 Z0.25
N30 G2 X 1.5e3 Y 0x1F I 0x J 12a
N40 G01 x 5 F300
    G1 X5;no space before the comment
M30
