// The process entry: parses the command line, creates the controller and runs the event loop until
// SIGINT or SIGTERM asks for the orderly shut-down.
#pragma once

namespace VedevaveApp::VedevaveMain {

int main(int argc, char** argv);

} // namespace VedevaveApp::VedevaveMain
