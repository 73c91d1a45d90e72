// The VPN client's start once the application object exists: the tray check, Qt's Polish texts,
// the connection store as the working directory, and the window. Returns the exit code.
#pragma once

int runVpnClient();
