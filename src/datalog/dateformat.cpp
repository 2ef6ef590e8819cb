#include "datalog/dateformat.h"

bool isDateOnlyFormat(const QString &format)
{
    for (QChar c : format) {
        switch (c.unicode()) {
        case u'h':
        case u'H':
        case u'm':
        case u's':
        case u'z':
        case u'a':
        case u'A':
        case u'p':
        case u'P':
        case u't':
            return false;
        default:
            break;
        }
    }
    return true;
}
