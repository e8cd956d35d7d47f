// Signals. The handler itself only writes the signal number into a pipe (async-signal-safe);
// a dedicated thread reads it and does the logging, the delegate's cleanup and the exit, so
// that none of that runs in signal context. The cleanup runs on a thread of its own so that a
// second signal is still seen, and ends the process at once, while a cleanup is under way.
// The cleanup waits only briefly for a transaction in progress: a lab that holds a reply or
// stops reading must not keep a cancelled job alive past the scheduler's patience.
#include "PLUMEX_CUPSPrintJob.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <cstdio>
#include <string>

#include "PLUMEX_CUPSPrintJobInternal.h"

namespace {

int gSignalPipe[2] = {-1, -1};
std::atomic<PLUMEX_CUPSPrintJob*> gSharedObject{nullptr};

constexpr std::chrono::milliseconds kCleanupWaitForTransaction{1000};

std::recursive_timed_mutex& cleanupLock() {
    static std::recursive_timed_mutex lock;
    return lock;
}

bool endsTheProcess(int signalNumber) {
    switch (signalNumber) {
    case SIGHUP: case SIGINT: case SIGQUIT: case SIGABRT: case SIGPIPE: case SIGTERM: case SIGTSTP:
        return true;
    default:
        return false;
    }
}

// The log file and standard error are unbuffered; nothing is lost by skipping exit handlers,
// which would run while the main thread still uses what they destroy.
[[noreturn]] void endProcess(int status) { _exit(status); }

void* runCleanup(void* argument) {
    const int signalNumber = static_cast<int>(reinterpret_cast<intptr_t>(argument));
    {
        std::unique_lock<std::recursive_timed_mutex> hold(cleanupLock(), std::defer_lock);
        if (!hold.try_lock_for(kCleanupWaitForTransaction))
            PLUMEX_CUPSLog::debug("a printer transaction is still under way; cleaning up beside it");
        if (PLUMEX_CUPSPrintJob* job = gSharedObject.load()) job->cleanupOnSignal(signalNumber);
    }
    PLUMEX_CUPSLog::debug("%s", std::string(80, 'v').c_str());
    endProcess(signalNumber);
}

void handleSignal(int signalNumber) {
    const char* name = PLUMEX_CUPSPrintJob::strForSignal(signalNumber);
    if (int earlier = PLUMEX_CUPSLog::seenSignal(); earlier != 0) {
        PLUMEX_CUPSLog::debug("caught signal %d (%s) while processing signal %d", signalNumber, name, earlier);
        endProcess(signalNumber);
    }
    PLUMEX_CUPSLog::debug("caught signal %d %s", signalNumber, name);
    PLUMEX_CUPSLog::setSeenSignal(signalNumber);
    if (!endsTheProcess(signalNumber)) return;

    pthread_t thread;
    void* argument = reinterpret_cast<void*>(static_cast<intptr_t>(signalNumber));
    if (pthread_create(&thread, nullptr, runCleanup, argument) == 0)
        pthread_detach(thread);
    else
        runCleanup(argument);
}

void* readSignals(void*) {
    for (;;) {
        unsigned char signalNumber = 0;
        ssize_t n = read(gSignalPipe[0], &signalNumber, 1);
        if (n == 1) handleSignal(signalNumber);
        else if (n < 0 && errno == EINTR) continue;
        else return nullptr;
    }
}

extern "C" void forwardSignal(int signalNumber) {
    const int savedErrno = errno;
    unsigned char byte = static_cast<unsigned char>(signalNumber);
    ssize_t ignored = write(gSignalPipe[1], &byte, 1);
    (void)ignored;
    errno = savedErrno;
}

bool startSignalThread() {
    if (pipe2(gSignalPipe, O_CLOEXEC) != 0) return false;
    // A full pipe must never block the handler; the reader blocks.
    fcntl(gSignalPipe[1], F_SETFL, fcntl(gSignalPipe[1], F_GETFL) | O_NONBLOCK);
    // The reader must not itself be the target of the signals it serves.
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    pthread_t thread;
    bool started = pthread_create(&thread, nullptr, readSignals, nullptr) == 0;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (started) pthread_detach(thread);
    return started;
}

}  // namespace

namespace tessaron::printjob {

void setSharedObject(PLUMEX_CUPSPrintJob* job) { gSharedObject.store(job); }
PLUMEX_CUPSPrintJob* sharedObject() { return gSharedObject.load(); }

void installSignalHandlers() {
    static const bool threadStarted = startSignalThread();
    for (int signalNumber : PLUMEX_CUPSPrintJob::signalList()) {
        struct sigaction action {};
        action.sa_handler = threadStarted ? forwardSignal : SIG_DFL;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        if (!threadStarted || sigaction(signalNumber, &action, nullptr) != 0)
            fprintf(stderr, "Failed to set a signal handler for \"%s\".\n", PLUMEX_CUPSPrintJob::strForSignal(signalNumber));
    }
}

}  // namespace tessaron::printjob

std::unique_lock<std::recursive_timed_mutex> PLUMEX_CUPSPrintJob::holdSignalCleanup() {
    return std::unique_lock<std::recursive_timed_mutex>(cleanupLock());
}

const std::vector<int>& PLUMEX_CUPSPrintJob::signalList() {
    static const std::vector<int> list = {SIGUSR1, SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT, SIGABRT, SIGTSTP};
    return list;
}

void PLUMEX_CUPSPrintJob::cleanupOnSignal(int signalNumber) {
    if (_delegate && _delegate->respondsToCleanupOnSignal()) {
        _delegate->cleanupOnSignal(signalNumber);
        return;
    }
    jobDebug("if you expected something useful to happen here then you probably need to set a delegate that "
             "responds to \"%s\"",
             "-[PLUMEX_CUPSPrintJob cleanupOnSignal:]");
}

const char* PLUMEX_CUPSPrintJob::strForSignal(int signalNumber) {
    switch (signalNumber) {
    case SIGHUP: return "HangUP";
    case SIGINT: return "INTerrupt";
    case SIGQUIT: return "QUIT";
    case SIGILL: return "ILLegal instruction";
    case SIGTRAP: return "trace TRAP";
    case SIGABRT: return "ABoRT";
    case SIGFPE: return "Floating Point Exception";
    case SIGKILL: return "KILL";
    case SIGBUS: return "BUS error";
    case SIGSEGV: return "SEGmentation Violation";
    case SIGSYS: return "bad argument to SYStem call";
    case SIGPIPE: return "write on a PIPE with no one to read it";
    case SIGALRM: return "ALaRM clock";
    case SIGTERM: return "software TERMination signal from kill";
    case SIGURG: return "URGent condition on IO channel";
    case SIGSTOP: return "sendable STOP signal not from tty";
    case SIGTSTP: return "Tty SToP signal";
    case SIGCONT: return "CONTinue a stopped process";
    case SIGCHLD: return "to parent on CHiLD stop or exit";
    case SIGTTIN: return "to readers pgrp upon background TTy read IN";
    case SIGTTOU: return "like TTin for OUtput";
    case SIGIO: return "Input/Output possible signal";
    case SIGXCPU: return "eXceeded CPU time limit";
    case SIGXFSZ: return "eXceeded File SiZe limit";
    case SIGVTALRM: return "Virtual Time ALaRM";
    case SIGPROF: return "PROFiling time alarm";
    case SIGWINCH: return "WINdow size CHanges";
    case SIGUSR1: return "USeR 1";
    case SIGUSR2: return "USeR 2";
    default: return "unknown";
    }
}
