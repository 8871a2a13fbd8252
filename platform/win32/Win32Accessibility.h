// What the form host tells assistive technology beyond what the native controls say
// themselves, and the system's high-contrast switch.
#pragma once

#include <windows.h>

#include <string>

// Whether a high-contrast theme is on: then every colour comes from the system.
bool HighContrastOn();

// The name screen readers give `control` (Microsoft Active Accessibility's, which UI
// Automation's proxies take over): the label that names it, whatever lies before it in
// the window order. Silently nothing where the system cannot take it.
void SetAccessibleName(HWND control, const std::wstring& name);

// A UI Automation notification from `source`: screen readers speak `text` without the
// focus moving, the newest replacing one not yet spoken. Nothing before Windows 10 1709
// or when no screen reader listens.
void AnnounceToScreenReaders(HWND source, const std::wstring& text);
