// The pass-through filter programs: their input goes to standard output unchanged, so that
// the backend receives the raster data or command file as it came.
#pragma once

// Copies everything from `fd` to standard output; 0 on success, 1 on failure.
int raw_cat(int fd);

// The filter's main: seven arguments copy the named file, six standard input; anything else
// goes to the job context's creation (version line or usage). Answers raw_cat's result, or 0
// when the file cannot be opened.
int passThroughFilterMain(int argc, char** argv);
