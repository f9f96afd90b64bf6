// Marks what the interpolation library exports; everything else in it is hidden.
#ifndef BLOCKWALK_API_H
#define BLOCKWALK_API_H

#if defined(__GNUC__)
#define BLOCKWALK_API __attribute__((visibility("default")))
#else
#define BLOCKWALK_API
#endif

#endif
