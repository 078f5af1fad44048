#pragma once

class TForm1;

// Program start, shared by the program and by the programs that measure or picture it.

// Title, icon and main-loop settings of the application. Call once the QApplication exists.
void InitApplication();

// The rest of loading the main window and showing it: the wizard's end-of-load step (buttons
// laid out, first page selected), the creation handler, centred on the screen with the focus
// on the welcome page.
void ShowMainWindow(TForm1& form);
