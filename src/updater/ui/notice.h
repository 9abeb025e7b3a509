#pragma once

// A message box with no owner; returns the button pressed (only IDNO is ever tested).
int showNotice(const wchar_t* text, const wchar_t* caption, unsigned style);
