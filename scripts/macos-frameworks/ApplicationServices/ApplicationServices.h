// Stand-in for the ApplicationServices umbrella, for the macOS syntax check only: the parts of
// its frameworks that pelorix uses.
#ifndef PELORIX_STAND_IN_APPLICATIONSERVICES_H
#define PELORIX_STAND_IN_APPLICATIONSERVICES_H

#include <CoreFoundation/CoreFoundation.h>
#include <CoreGraphics/CoreGraphics.h>
#include <HIServices/HIServices.h>

#endif
