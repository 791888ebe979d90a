// Console key events turned into the codes the Windows console's own key
// reads (_getch) give, which is what the paging keys are written against.
#pragma once

#include "platform/base_types.h"

// A prefix and a scan code, or the bytes of one character in the widest
// code page.
constexpr int MaxCodesPerKey = 4;

// The codes of one press of the key in event: its character in codePage
// when it has one; else 0xE0 and the scan code for an enhanced key, 0x00
// and the scan code for any other. navigationAlwaysEnhanced takes the
// navigation keys (arrows, Home, End, Page Up, Page Down, Insert, Delete)
// as enhanced whatever the event says. Returns how many codes were
// written: 0 for a key release, a modifier key, or a key without a code.
int TranslateKeyEvent(const KEY_EVENT_RECORD& event, bool navigationAlwaysEnhanced, UINT codePage,
                      int codes[MaxCodesPerKey]);
