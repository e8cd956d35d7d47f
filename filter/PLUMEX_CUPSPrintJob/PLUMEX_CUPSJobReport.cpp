#include "PLUMEX_CUPSJobReport.h"

#include "PLUMEX_CUPSPrintJob.h"

namespace tessaron::printjob {

void reportInfo(const std::string& text) {
    if (const PLUMEX_CUPSPrintJob* context = PLUMEX_CUPSPrintJob::sharedObject()) context->info("%s", text.c_str());
    else PLUMEX_CUPSLog::logLevelMessage(PLUMEX_CUPSLog::kLevelInfo, text);
}

void reportRecoverable(const std::string& text) {
    if (PLUMEX_CUPSPrintJob* context = PLUMEX_CUPSPrintJob::sharedObject()) context->jobRecoverable("%s", text.c_str());
    else PLUMEX_CUPSLog::recoverable("%s", text.c_str());
}

void reportStateSet(const std::string& reasons) {
    if (PLUMEX_CUPSPrintJob* context = PLUMEX_CUPSPrintJob::sharedObject()) context->jobStateSet(reasons);
    else PLUMEX_CUPSLog::stateSet(reasons);
}

void reportStateClear(const std::string& reasons) {
    if (PLUMEX_CUPSPrintJob* context = PLUMEX_CUPSPrintJob::sharedObject()) context->jobStateClear(reasons);
    else PLUMEX_CUPSLog::stateClear(reasons);
}

}  // namespace tessaron::printjob
