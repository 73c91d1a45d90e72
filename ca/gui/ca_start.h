// The program after its application object exists: translation, the authority store as the
// working directory, the main window and its event loop. Returns the exit code.
#pragma once

int runCa();
