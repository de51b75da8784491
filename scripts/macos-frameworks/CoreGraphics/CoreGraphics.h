// Stand-in for the part of Core Graphics pelorix uses: Apple's declarations (CGBase.h,
// CGGeometry.h, CGEventTypes.h, CGEvent.h, CGEventSource.h), for the macOS syntax check only.
#ifndef PELORIX_STAND_IN_COREGRAPHICS_H
#define PELORIX_STAND_IN_COREGRAPHICS_H

#include <CoreFoundation/CoreFoundation.h>
#include <os/availability.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef double CGFloat;

struct CGPoint {
  CGFloat x;
  CGFloat y;
};
typedef struct CGPoint CGPoint;

struct CGSize {
  CGFloat width;
  CGFloat height;
};
typedef struct CGSize CGSize;

struct CGRect {
  CGPoint origin;
  CGSize size;
};
typedef struct CGRect CGRect;

typedef struct __CGEvent* CGEventRef;
typedef struct __CGEventSource* CGEventSourceRef;
typedef uint16_t CGKeyCode;

typedef enum CGEventSourceStateID : int32_t {
  kCGEventSourceStatePrivate = -1,
  kCGEventSourceStateCombinedSessionState = 0,
  kCGEventSourceStateHIDSystemState = 1,
} CGEventSourceStateID;

CGEventSourceRef CGEventSourceCreate(CGEventSourceStateID stateID);
CGEventRef CGEventCreateKeyboardEvent(CGEventSourceRef source, CGKeyCode virtualKey, bool keyDown);
void CGEventKeyboardSetUnicodeString(CGEventRef event, UniCharCount stringLength,
                                     const UniChar* unicodeString);
void CGEventKeyboardGetUnicodeString(CGEventRef event, UniCharCount maxStringLength,
                                     UniCharCount* actualStringLength, UniChar* unicodeString);
void CGEventPostToPid(pid_t pid, CGEventRef event) API_AVAILABLE(macos(10.11));

#ifdef __cplusplus
}
#endif

#endif
