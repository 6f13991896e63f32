// Lets the shipped stub run on C libraries older than the one it is built with. The C++
// runtime linked into the stub would otherwise bind a few symbols to the newest versions
// of the build machine's C library; here they are bound to their oldest version or
// provided by the stub itself. Linked into the stub only.

#include <stdint.h>  // defines __GLIBC__ on the C library this is about

#if defined(__GLIBC__) && (defined(__x86_64__) || defined(__aarch64__))

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <link.h>
#include <pthread.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

#if defined(__x86_64__)
#define QN_GLIBC_BASE "GLIBC_2.2.5"
#else
#define QN_GLIBC_BASE "GLIBC_2.17"
#endif

extern "C" {

using MainFunction = int (*)(int, char**, char**);
using InitFunction = void (*)(int, char**, char**);

// The first version of the start routine, present in every C library since.
int qn_libc_start_main_base(MainFunction main, int argc, char** argv, InitFunction init,
                            void (*fini)(), void (*rtldFini)(), void* stackEnd);
__asm__(".symver qn_libc_start_main_base,__libc_start_main@" QN_GLIBC_BASE);

extern InitFunction __init_array_start[] __attribute__((visibility("hidden")));
extern InitFunction __init_array_end[] __attribute__((visibility("hidden")));
void _init();

// The program's constructors, which older C libraries expect the start routine's caller
// to run (newer ones find them by themselves). Destructors run from the dynamic linker.
static void runConstructors(int argc, char** argv, char** envp) {
    _init();
    const size_t count = static_cast<size_t>(__init_array_end - __init_array_start);
    for (size_t i = 0; i < count; ++i) __init_array_start[i](argc, argv, envp);
}

// The start code's call of the start routine, redirected here by the linker (--wrap).
int __wrap___libc_start_main(MainFunction main, int argc, char** argv, InitFunction, void (*)(),
                             void (*rtldFini)(), void* stackEnd) {
    return qn_libc_start_main_base(main, argc, argv, runConstructors, nullptr, rtldFini, stackEnd);
}

// The stub runs on one thread, so the thread hooks of the C++ runtime need no more than
// this; the C library's own are only in its newest versions.
int pthread_once(pthread_once_t* once, void (*init)()) {
    if (*once == PTHREAD_ONCE_INIT) {
        *once = PTHREAD_ONCE_INIT + 1;
        init();
    }
    return 0;
}

int __pthread_key_create(pthread_key_t*, void (*)(void*)) {
    return EAGAIN;
}

// Not known to be single-threaded: the C++ runtime then always uses atomic operations.
char __libc_single_threaded = 0;

// Random numbers for the C++ runtime's random device (the launcher itself never asks).
uint32_t arc4random(void) {
    uint32_t value = 0;
    if (syscall(SYS_getrandom, &value, sizeof value, 0) != sizeof value) {
        int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            if (read(fd, &value, sizeof value) != sizeof value) value = 0;
            close(fd);
        }
    }
    return value;
}

// Finds the loaded object that holds `pc` and its exception-handling frame table, for the
// unwinder that throws C++ exceptions.
struct FindObjectQuery {
    uintptr_t pc;
    struct dl_find_object* result;
    bool found;
};

static int findObject(struct dl_phdr_info* info, size_t, void* data) {
    auto* query = static_cast<FindObjectQuery*>(data);
    uintptr_t low = UINTPTR_MAX, high = 0;
    bool contains = false;
    const void* ehFrame = nullptr;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        uintptr_t start = info->dlpi_addr + ph.p_vaddr;
        if (ph.p_type == PT_LOAD) {
            if (start < low) low = start;
            if (start + ph.p_memsz > high) high = start + ph.p_memsz;
            if (query->pc >= start && query->pc < start + ph.p_memsz) contains = true;
        } else if (ph.p_type == PT_GNU_EH_FRAME) {
            ehFrame = reinterpret_cast<const void*>(start);
        }
    }
    if (!contains) return 0;
    memset(query->result, 0, sizeof *query->result);
    query->result->dlfo_map_start = reinterpret_cast<void*>(low);
    query->result->dlfo_map_end = reinterpret_cast<void*>(high);
    query->result->dlfo_eh_frame = const_cast<void*>(ehFrame);
    query->found = true;
    return 1;
}

int _dl_find_object(void* pc, struct dl_find_object* result) {
    FindObjectQuery query{reinterpret_cast<uintptr_t>(pc), result, false};
    dl_iterate_phdr(findObject, &query);
    return query.found ? 0 : -1;
}

}  // extern "C"

#endif
