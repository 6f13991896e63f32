INSTRUCTIONS:
  INITIALIZE_UI
  FIND_JVM 1 1
  JMP0 @N1@ install
  LAUNCH @S2@ 0
  GOTO done
  :install
  INSTALL_JVM 1
  JMP0 @N1@ nojvm
  LAUNCH @S1@ 0
  GOTO done
  :nojvm
  EXIT 1
  :done
/:
