// Load and unload hooks.
//
// The engine keeps no global state, so there is nothing to set up or tear
// down; the hooks exist so that a host chasing a load-order or unload problem
// can see when the library arrives and leaves. They write one line each to
// standard error, in one write call so the line is not split by other
// output, and only when MOSARO_TRACE is set to anything but "0" at load:
// a library must not write to a host's stderr uninvited. The same object
// also ends up in the static engine archive the tests link; it stays silent
// there for the same reason. Thread attach and detach need nothing.
//
// On Windows the lines also go, always, to the debugger channel
// (OutputDebugStringA), where Windows hosts have always seen them: a
// debugger or DebugView shows them, and without a listener they cost
// nothing. The load never fails.
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

bool g_traceEnabled = false;  // decided once, at load

void Trace(const char* line) {
#if defined(_WIN32)
    OutputDebugStringA(line);
#endif
    if (!g_traceEnabled) return;
#if defined(_WIN32)
    const int written = _write(2, line, static_cast<unsigned>(std::strlen(line)));
#else
    const ssize_t written = write(STDERR_FILENO, line, std::strlen(line));
#endif
    (void)written;  // a trace line that cannot be written is not worth failing for
}

void OnLoad() {
    const char* setting = std::getenv("MOSARO_TRACE");
    g_traceEnabled = setting != nullptr && std::strcmp(setting, "0") != 0;
    Trace("MOSARO.DLL Initializing!\n");
}

void OnUnload() { Trace("MOSARO.DLL Terminating!\n"); }

}  // namespace

#if defined(_WIN32)
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) OnLoad();
    if (reason == DLL_PROCESS_DETACH) OnUnload();
    return TRUE;
}
#else
__attribute__((constructor)) static void MosaroLibraryLoaded() { OnLoad(); }
__attribute__((destructor)) static void MosaroLibraryUnloaded() { OnUnload(); }
#endif
