#pragma once

class QAbstractScrollArea;

// A style sheet turns a scroll area's viewport fill off and paints it as a styled background
// instead, which makes the viewport count as transparent: every scroll then repaints the whole
// viewport and what lies beneath. Filled with its base colour, which the sheet sets too, it
// scrolls by moving the painted pixels. To be called after each polish of the area.
void keepViewportOpaque(QAbstractScrollArea *area);
