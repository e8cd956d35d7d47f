// The opening both job drivers share: log lines to standard error, the separator line and
// the start-up description.
#pragma once

void logDriverOpening();
