// The footer of every page of the web interface: who made the application, and the one
// script the pages need.
#pragma once

namespace tessaron::printerapp {

const char* webFooterHTML();

}  // namespace tessaron::printerapp
