/* Loads and unloads the library named by argv[1], marking each step on
 * stderr, so whatever the library writes there lands between the marks of
 * the call that caused it. It must not link the library itself. */
#include <string.h>

#ifdef _WIN32
#include <io.h>
#include <stdlib.h>
#include <windows.h>
#define OPEN_LIBRARY(path) ((void*)LoadLibraryA(path))
#define CLOSE_LIBRARY(library) (FreeLibrary((HMODULE)(library)) ? 0 : 1)
#define WRITE_STDERR(text, size) _write(2, text, (unsigned)(size))
#define EXIT_NOW _exit
#else
#include <dlfcn.h>
#include <unistd.h>
#define OPEN_LIBRARY(path) dlopen(path, RTLD_NOW | RTLD_LOCAL)
#define CLOSE_LIBRARY(library) dlclose(library)
#define WRITE_STDERR(text, size) write(STDERR_FILENO, text, size)
#define EXIT_NOW _exit
#endif

static void Mark(const char* text) {
    if (WRITE_STDERR(text, strlen(text)) < 0) EXIT_NOW(3);
}

int main(int argc, char** argv) {
    void* library;
    if (argc != 2) return 2;
    Mark("[dlopen]\n");
    if ((library = OPEN_LIBRARY(argv[1])) == NULL) return 1;
    Mark("[dlclose]\n");
    if (CLOSE_LIBRARY(library) != 0) return 1;
    Mark("[end]\n");
    return 0;
}
