/*
 * IOKit power-source declarations for the macOS cross-compile check (`make macos-check`),
 * written from Apple's public documentation. They declare only what Gatewarden's macOS code
 * calls, with the SDK's own types. Nothing but that check uses them: the product is built on
 * macOS against Apple's SDK.
 */
#ifndef GATEWARDEN_MACOS_SDK_IOPOWERSOURCES_H
#define GATEWARDEN_MACOS_SDK_IOPOWERSOURCES_H

#include <CoreFoundation/CoreFoundation.h>

CF_EXTERN_C_BEGIN

/* A snapshot of every power source, to be released by the caller; NULL on error. */
CFTypeRef IOPSCopyPowerSourcesInfo(void);
/* The power sources in a snapshot, to be released by the caller; NULL on error. */
CFArrayRef IOPSCopyPowerSourcesList(CFTypeRef blob);

CF_EXTERN_C_END

#endif
