#pragma once
// The packer: "create" writes a bundle from a stub and files, "init" writes the generated
// files of an application for editing, "list" prints a bundle's file index.

#include <cstdio>

// Runs the packer's command line; returns the exit status. Messages go to `out`/`err`.
int qnpackMain(int argc, char** argv, FILE* out, FILE* err);
