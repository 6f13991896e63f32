#pragma once
// The packer's subcommands, each in a file of its own.

#include <cstdio>

#include "qnpack/CommandLine.h"

// "create": writes the bundle `command` describes; the exit status.
int createCommand(PackCommand& command, const char* argv0, FILE* out, FILE* err);
// "init": writes the generated files into the command's DIR and prints the create command.
int initCommand(PackCommand& command, const char* argv0, FILE* out, FILE* err);
// "list": prints the file index of the bundle argv[2].
int listCommand(int argc, char** argv, FILE* out, FILE* err);
