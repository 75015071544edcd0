#pragma once

class QFont;
class QWidget;

// The pixel positions of the dialogs were drawn for their template font as
// it is on a 96-dpi desktop. So each dialog keeps that font, whatever font
// and size the desktop uses: a standard sans at the template's point size
// in pixels of that desktop (9 pt: 12 px, 8 pt: 11 px).
int TemplatePixelSize(int nPointSize);
QFont DialogFont(int nPixelSize);

// Gives pDialog, and with it its controls, its template font. A sans wider
// than the one the positions were drawn for is made a pixel smaller at a
// time (by 2 px at most) until every caption fits its control.
void ApplyDialogFont(QWidget* pDialog, int nPointSize);

// True when the caption of every button and label of pDialog that is not
// hidden fits the width of its control.
bool CaptionsFit(const QWidget* pDialog);
