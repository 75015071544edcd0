#pragma once

class QPushButton;
class QWidget;

// Escape and Ctrl+W close the window (a window of its own beside the main
// one: the results window, the Devices window); returns a "Close" button
// that closes it too, for the window's layout.
QPushButton* AddCloseKeys(QWidget& window);
