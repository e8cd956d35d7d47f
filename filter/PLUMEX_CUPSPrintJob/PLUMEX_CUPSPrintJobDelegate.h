// What the job context asks of the object that prints the job. Every operation is optional:
// the context asks respondsTo...() before calling it and falls back to its own behaviour.
#pragma once

#include "Image.h"

class PLUMEX_CUPSPrintJobDelegate {
public:
    virtual ~PLUMEX_CUPSPrintJobDelegate() = default;

    // Called once per page by the page loop, with the page's pixels in the context's buffer;
    // the delegate must be done with the page before it returns.
    virtual bool respondsToOutputPage() const { return false; }
    virtual void outputPage() {}

    // Where the page goes on its white canvas (pixels, origin bottom-left, y up).
    virtual bool respondsToCroppingRectForPage() const { return false; }
    virtual tessaron::image::Rect croppingRectForPage() { return {}; }

    virtual bool respondsToNeedsMarginManagement() const { return false; }
    virtual bool needsMarginManagement() { return false; }

    // A termination signal arrived. Runs on the context's signal thread, never inside a
    // signal handler; the process ends when it returns. A second signal ends it at once.
    virtual bool respondsToCleanupOnSignal() const { return false; }
    virtual void cleanupOnSignal(int signalNumber) { (void)signalNumber; }

protected:
    PLUMEX_CUPSPrintJobDelegate() = default;
    PLUMEX_CUPSPrintJobDelegate(const PLUMEX_CUPSPrintJobDelegate&) = default;
    PLUMEX_CUPSPrintJobDelegate& operator=(const PLUMEX_CUPSPrintJobDelegate&) = default;
};
