INSTRUCTIONS:
  INITIALIZE_UI
  FIND_JVM 1 1
  JMP0 @N1@ install
  LAUNCH @S2@ 0
  GOTO done
  :install
  INSTALL_JVM 1
  JMP0 @N1@ done
  LAUNCH @S1@ 0
  :done
/:
