#pragma once
// Scale of the bounds that stop self-referring macros and variables. Fuzzing builds reach
// those bounds all the time and use smaller ones, so that each input stays quick.

#ifdef QN_FUZZING
constexpr long kExpansionBoundDivisor = 256;
#else
constexpr long kExpansionBoundDivisor = 1;
#endif
