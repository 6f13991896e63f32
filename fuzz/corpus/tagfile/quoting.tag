A: "quoted ""x"" value" tail
B:
  one
  "two "" "

  /:
/:
C: x:y
