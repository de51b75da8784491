// The subset of Core Graphics events the module uses, with Apple's names and signatures.
#pragma once

#if defined(__APPLE__)
#error "on Apple systems the frameworks declare these: include platform/platform.h"
#endif

#include <sys/types.h>

#include <cstdint>

#include "platform/core_foundation.h"

extern "C" {

typedef struct __CGEvent* CGEventRef;
typedef struct __CGEventSource* CGEventSourceRef;
typedef int32_t CGEventSourceStateID;
typedef uint16_t CGKeyCode;

enum : CGEventSourceStateID {
  kCGEventSourceStatePrivate = -1,
  kCGEventSourceStateCombinedSessionState = 0,
  kCGEventSourceStateHIDSystemState = 1,
};

CGEventSourceRef CGEventSourceCreate(CGEventSourceStateID stateID);
CGEventRef CGEventCreateKeyboardEvent(CGEventSourceRef source, CGKeyCode virtualKey, bool keyDown);
void CGEventKeyboardSetUnicodeString(CGEventRef event, UniCharCount stringLength,
                                     const UniChar* unicodeString);
void CGEventKeyboardGetUnicodeString(CGEventRef event, UniCharCount maxStringLength,
                                     UniCharCount* actualStringLength, UniChar* unicodeString);
void CGEventPostToPid(pid_t pid, CGEventRef event);

}  // extern "C"
