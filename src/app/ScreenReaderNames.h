#pragma once

class TForm1;

// Names and descriptions for screen readers, beside the window's described texts, which stay
// as they are: every edit box by what it holds (without a name each would be read out as the
// title of its group), the buttons whose captions are abbreviations, and each wizard page by
// its header's title and subtitle, which the page paints instead of showing as controls.
void NameForScreenReaders(TForm1& form);
