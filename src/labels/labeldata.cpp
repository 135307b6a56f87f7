#include "labels/labeldata.h"

#include "db/utilites.h"

LabelTexts labelTexts(qint32 number)
{
    LabelTexts texts;
    texts.barcode = ZeroPad(number, 10);
    texts.digits.reserve(texts.barcode.size() * 2);
    for (qsizetype i = 0; i < texts.barcode.size(); ++i) {
        if (i > 0)
            texts.digits += QLatin1Char(' ');
        texts.digits += QLatin1Char(texts.barcode[i]);
    }
    return texts;
}

LabelStep stepLabels(qint32 &current, qint32 last, bool &lastSetUp)
{
    if (lastSetUp)
        return {current, false};
    const LabelStep step{current, current <= last};
    if (current == last)
        lastSetUp = true;
    else if (step.printed)
        ++current;
    return step;
}
