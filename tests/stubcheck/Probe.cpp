// A program linked the ordinary way, with the C++ runtime as a shared library: what the
// stub check must refuse.

#include <iostream>
#include <string>

int main(int argc, char** argv) {
    std::string name = argc > 0 ? argv[0] : "probe";
    std::cout << name << '\n';
    return 0;
}
