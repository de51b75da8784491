// The one door to the operating system's accessibility, Core Foundation, event and XPC services.
// On Apple systems these are the system frameworks; elsewhere our own implementation with the
// same C signatures stands in, so the core compiles unchanged on both.
#pragma once

#if defined(__APPLE__)
#include <ApplicationServices/ApplicationServices.h>
#include <xpc/xpc.h>
#else
#include "platform/accessibility.h"
#include "platform/core_foundation.h"
#include "platform/events.h"
#include "platform/xpc.h"
#endif
