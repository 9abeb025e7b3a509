#pragma once

// A message box with no owner; returns the button pressed (only IDNO is ever tested).
int showNotice(const char* text, const char* caption, unsigned style);
