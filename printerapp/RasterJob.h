// Printing: PAPPL renders the document into lines; they go as a CUPS raster stream into the
// standard input of a backend child, which prints them as one order with every rule of job
// production. The child's standard-error lines come back as the job's messages, and a job
// cancelled here ends the child as cupsd would (SIGTERM), which cancels a spooled order.
#pragma once

#include <pappl/pappl.h>

namespace tessaron::printerapp {

bool startRasterJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);
bool startRasterPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned page);
bool writeRasterLine(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned y,
                     const unsigned char* line);
bool endRasterPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned page);
bool endRasterJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);

}  // namespace tessaron::printerapp
