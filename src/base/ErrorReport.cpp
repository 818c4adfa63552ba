#include "base/ErrorReport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace {
lumi::ErrorSink& errorSink() {
    static lumi::ErrorSink sink;
    return sink;
}
lumi::DefaultHandlerPresenter& presenter() {
    static lumi::DefaultHandlerPresenter p;
    return p;
}
} // namespace

void ReportError(const std::string& text) noexcept {
    try {
        if (std::getenv("LUMISIFT_DEBUG")) std::fprintf(stderr, "ReportError: %s\n", text.c_str());
        if (errorSink()) errorSink()(text);
    } catch (...) {
        // The hook must never raise to its caller.
    }
}

namespace lumi {

void setErrorSink(ErrorSink sink) { errorSink() = std::move(sink); }

void setDefaultHandlerPresenter(DefaultHandlerPresenter p) { presenter() = std::move(p); }

std::string exceptionMessage(std::exception_ptr error) {
    try {
        if (error) std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
    }
    return "Unknown exception";
}

void presentUnhandled(const std::string& message) noexcept {
    try {
        if (presenter()) {
            presenter()(message);
            return;
        }
        std::fprintf(stderr, "%s\n", message.c_str());
    } catch (...) {
        std::fprintf(stderr, "%s\n", message.c_str());
    }
}

std::string systemErrorText(int code) {
    char buffer[256];
    // The GNU strerror_r returns its text, which need not be in buffer.
    return strerror_r(code, buffer, sizeof buffer);
}

} // namespace lumi
