// Whether the system runs the Windows Preinstallation Environment, where the resource library is
// looked for beside the launcher only, no optional system function is loaded and the drive table
// takes the RAM drive for the system drive.
#pragma once

// 1 in the Preinstallation Environment, else 0; within an exported call asked once.
int isPreinstallEnvironment();
