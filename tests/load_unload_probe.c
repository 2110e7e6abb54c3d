/* Loads and unloads the library named by argv[1], marking each step on
 * stderr, so whatever the library writes there lands between the marks of
 * the call that caused it. It must not link the library itself. */
#include <dlfcn.h>
#include <string.h>
#include <unistd.h>

static void Mark(const char* text) {
    if (write(STDERR_FILENO, text, strlen(text)) < 0) _exit(3);
}

int main(int argc, char** argv) {
    void* library;
    if (argc != 2) return 2;
    Mark("[dlopen]\n");
    if ((library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL)) == NULL) return 1;
    Mark("[dlclose]\n");
    if (dlclose(library) != 0) return 1;
    Mark("[end]\n");
    return 0;
}
