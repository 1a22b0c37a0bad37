#include "VedevaveApp/App/VedevaveMain.h"

int main(int argc, char** argv) { return VedevaveApp::VedevaveMain::main(argc, argv); }
