var le 0 1
eq le le
allDiff le
