#pragma once
// The packer's usage line and help texts.

// The short usage of every subcommand, for a missing or unknown command.
extern const char* const kUsageText;
// The help of "create" and "init": every option.
extern const char* const kCreateHelpText;
// The help of "list".
extern const char* const kListHelpText;
