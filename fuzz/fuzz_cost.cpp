#include "fuzzcheck.h"

#include "import/records.h"

#include <limits>

namespace {

bool allDigits(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// The price rule written a second way: split at the one separator, then
// the whole part at its group spaces, and read the digits when few enough.
Price expectedPrice(QByteArrayView input)
{
    constexpr qint64 limit = std::numeric_limits<qint32>::max();
    QByteArray text = input.toByteArray();
    if (text.isEmpty())
        return {Price::Read, 0};
    if (text.count(',') + text.count('.') > 1)
        return {Price::Unreadable, 0};
    const qsizetype separator = std::max(text.indexOf(','), text.indexOf('.'));
    QByteArray whole = separator < 0 ? text : text.left(separator);
    const QByteArray fraction = separator < 0 ? QByteArray() : text.mid(separator + 1);
    if (separator >= 0 && (!allDigits(fraction) || fraction.size() > 2))
        return {Price::Unreadable, 0};
    const QList<QByteArray> groups = whole.replace('\xA0', ' ').split(' ');
    QByteArray digits;
    for (qsizetype i = 0; i < groups.size(); ++i) {
        if (!allDigits(groups[i]))
            return {Price::Unreadable, 0};
        if (groups.size() > 1 && (i == 0 ? groups[i].size() > 3 : groups[i].size() != 3))
            return {Price::Unreadable, 0};
        digits += groups[i];
    }
    while (digits.size() > 1 && digits.front() == '0')
        digits.remove(0, 1);
    if (digits.size() > 10)
        return {Price::TooLarge, 0};
    const qint64 hundredths
        = digits.toLongLong() * 100 + (fraction.size() == 1 ? fraction.toLongLong() * 10 : fraction.toLongLong());
    if (hundredths > limit)
        return {Price::TooLarge, 0};
    return {Price::Read, qint32(hundredths)};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView text = fuzzInput(data, size);
    const Price expected = expectedPrice(text);
    const Price got = readPrice(text);
    FUZZ_CHECK(got.status == expected.status);
    FUZZ_CHECK(got.hundredths == expected.hundredths);
    FUZZ_CHECK(got.hundredths >= 0);
    FUZZ_CHECK(ParseCostHundredths(text).has_value() == (got.status == Price::Read));

    // A price read back from its own plain form is the same amount.
    if (got.status == Price::Read) {
        const QByteArray plain = QByteArray::number(got.hundredths / 100) + ','
            + QByteArray::number(got.hundredths % 100).rightJustified(2, '0');
        const Price again = readPrice(plain);
        FUZZ_CHECK(again.status == Price::Read && again.hundredths == got.hundredths);
    }
    return 0;
}
