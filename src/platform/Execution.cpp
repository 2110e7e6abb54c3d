#include "platform/Execution.h"

#include <algorithm>
#include <cstdlib>

#include "platform/WorkerPool.h"

namespace mosaro {

int ResolveWorkerCount(int requested) {
    int workers = requested;
    if (workers <= 0) {
        workers = ProcessorThreads();
        if (const char* setting = std::getenv("MOSARO_THREADS")) {
            char* end = nullptr;
            const long value = std::strtol(setting, &end, 10);
            if (end != setting && *end == '\0' && value > 0) workers = static_cast<int>(std::min(value, 1024L));
        }
    }
    return std::clamp(workers, 1, std::max(ProcessorThreads(), 1));
}

}  // namespace mosaro
