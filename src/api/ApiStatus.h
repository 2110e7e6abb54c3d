// Statuses and messages of the modern API, and the one guard around every
// entry: whatever an entry throws becomes a status and a message on the
// calling thread, so that no exception crosses the C boundary.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>

#include "platform/Progress.h"
#include "variogram/RobustFit.h"
#include "platform/TextFormat.h"
#include "mosaro.h"

namespace mosaro {

// A refused argument or a failed run, with the message the host will read.
class ApiError : public std::exception {
public:
    ApiError(mosaro_status status, std::string message) : status_(status), message_(std::move(message)) {}
    mosaro_status Status() const { return status_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    mosaro_status status_;
    std::string message_;
};


// Throws ApiError(status, formatted message).
[[noreturn]] void Refuse(mosaro_status status, const std::string& message);

// Refuses a caller's struct whose struct_size (`given`) does not reach the
// first field after it (`minimum` bytes): `name` is how the caller passed
// it, `type` its type, `current` this library's size of it.
void RequireStructSize(const char* name, const char* type, std::size_t given, std::size_t minimum, std::size_t current);

// Copies a caller's in-struct that declares its own size into `copy`
// (which holds the defaults of the fields the caller does not know), or
// keeps the defaults for a null one. The caller's size must reach at least
// `minimum` bytes and at most this library's size.
template <class In>
void ReadCallerStruct(const In* in, const char* name, const char* type, std::size_t minimum, In& copy) {
    if (in == nullptr) return;
    if (in->struct_size < minimum || in->struct_size > sizeof(In))
        Refuse(MOSARO_ERROR_STRUCT_SIZE, FormatMessage("%s->struct_size must be sizeof(%s) = %zu (got %zu)", name, type,
                                                       sizeof(In), in->struct_size));
    std::memcpy(static_cast<void*>(&copy), in, in->struct_size);
}

// Hands `value` to a caller's out-struct that declares its own size: the
// fields the caller knows are written, struct_size says how many bytes.
template <class Out>
void CopyOut(Out value, Out* out) {
    value.struct_size = std::min(out->struct_size, sizeof value);
    std::memcpy(static_cast<void*>(out), &value, value.struct_size);
}

// The calling thread's last message (empty after a success).
void SetLastMessage(const char* message) noexcept;
// The same, formatted straight into the thread's message storage: a warning
// set after the grid is written must not allocate, or a failed allocation
// would report an error over a grid already changed.
void SetLastMessageFormatted(const char* format, ...) noexcept __attribute__((format(MOSARO_PRINTF_FORMAT, 1, 2)));
const char* LastMessage() noexcept;

// Runs `body` (which returns a status and may set a warning message) and
// turns every exception into its status and message.
template <class Body>
mosaro_status GuardedEntry(Body&& body) noexcept {
    SetLastMessage("");
    try {
        return body();
    } catch (const ApiError& e) {
        SetLastMessage(e.what());
        return e.Status();
    } catch (const TooFewPairsToFit& e) {
        SetLastMessage(e.what());
        return MOSARO_ERROR_TOO_FEW_PAIRS;
    } catch (const Cancelled&) {
        SetLastMessage(
            "the run was cancelled by the progress callback; the grid's content is "
            "unspecified");
        return MOSARO_ERROR_CANCELLED;
    } catch (const std::bad_alloc&) {
        SetLastMessage("out of memory: an allocation of the run failed; the grid is left as passed");
        return MOSARO_ERROR_OUT_OF_MEMORY;
    } catch (const std::length_error& e) {
        SetLastMessage(e.what());
        return MOSARO_ERROR_TOO_LARGE;
    } catch (const std::exception& e) {
        SetLastMessage(e.what());
        return MOSARO_ERROR_INTERNAL;
    } catch (...) {
        SetLastMessage("an unknown failure inside the library");
        return MOSARO_ERROR_INTERNAL;
    }
}

}  // namespace mosaro
