// Messages and printer-state reasons from code that may run with or without a job context
// (the filter has one, the backend and the tools do not): through the context when the process
// has one, so it remembers reasons and recoverable errors; else straight to the log.
#pragma once

#include <string>

namespace tessaron::printjob {

void reportInfo(const std::string& text);
void reportRecoverable(const std::string& text);
void reportStateSet(const std::string& reasons);
void reportStateClear(const std::string& reasons);

}  // namespace tessaron::printjob
