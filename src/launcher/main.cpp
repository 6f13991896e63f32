// Entry point of the launcher stub.

#include <clocale>
#include <cstdio>
#include <exception>
#include <new>

#include "launcher/LauncherMain.h"

int main(int argc, char** argv) {
    setlocale(LC_CTYPE, "");
    try {
        return launcherMain(argc, argv);
    } catch (const std::bad_alloc&) {
        fputs("qnlaunch: out of memory\n", stderr);
    } catch (const std::exception& e) {
        fprintf(stderr, "qnlaunch: internal error: %s\n", e.what());
    } catch (...) {
        fputs("qnlaunch: internal error\n", stderr);
    }
    return 2;
}
