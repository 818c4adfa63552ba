#pragma once
// The program's error convention. A handler body runs under catchAll(): on any exception
// the routine's fixed text goes to ReportError and the routine returns normally. Routines
// without a catch-all run under runUnderDefaultHandler(), which presents the exception's
// message (a message box in the window program, stderr in the command-line tool).
#include <exception>
#include <functional>
#include <string>
#include <utility>

// Receives the fixed text of a failing routine. Shows nothing and never throws; with
// LUMISIFT_DEBUG set in the environment the text is logged to stderr.
void ReportError(const std::string& text) noexcept;

namespace lumi {

// The system's text for an errno value ("No space left on device").
std::string systemErrorText(int code);

// Tests install a sink to see the texts that reach ReportError; an empty sink removes it.
using ErrorSink = std::function<void(const std::string&)>;
void setErrorSink(ErrorSink sink);

// Runs body; on any exception passes text to ReportError. Returns false after a failure.
template <class Body> bool catchAll(const char* text, Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
        return true;
    } catch (...) {
        ReportError(text);
        return false;
    }
}

// Same as catchAll, for the few routines that report somewhere else (a memo line).
template <class Body, class Report> bool catchAllWith(Report&& report, Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
        return true;
    } catch (...) {
        try {
            std::forward<Report>(report)();
        } catch (...) {
        }
        return false;
    }
}

// How the application's default handler shows a message; the window program installs a
// message box, the command-line tool writes to stderr (the default).
using DefaultHandlerPresenter = std::function<void(const std::string& message)>;
void setDefaultHandlerPresenter(DefaultHandlerPresenter presenter);
void presentUnhandled(const std::string& message) noexcept;
std::string exceptionMessage(std::exception_ptr error);

// Runs body; an exception's message goes to the default handler's presenter and the
// caller carries on. Exceptions never travel through Qt's event dispatch.
template <class Body> void runUnderDefaultHandler(Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
    } catch (...) {
        presentUnhandled(exceptionMessage(std::current_exception()));
    }
}

} // namespace lumi
