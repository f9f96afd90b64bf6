// A stand-in for a simulator's svdpi.h: the open arrays of the DPI package's C side, as
// dpi_shim_test makes them.
#pragma once

typedef void* svOpenArrayHandle;

extern "C" {
void* svGetArrayPtr(const svOpenArrayHandle h);
int svSize(const svOpenArrayHandle h, int d);
int svDimensions(const svOpenArrayHandle h);
int svLeft(const svOpenArrayHandle h, int d);
}
