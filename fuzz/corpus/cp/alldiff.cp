# queens 4
var a 0 3
var b 0 3
var c 0 3
var d 0 3
alldifferent a b c d
neq a b
le a b -1
