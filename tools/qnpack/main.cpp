// The packer: appends a bundle's files to the launcher stub.

#include <cstdio>

#include "qnpack/Packer.h"

int main(int argc, char** argv) {
    return qnpackMain(argc, argv, stdout, stderr);
}
