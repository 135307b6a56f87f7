#include "fuzzcheck.h"

#include "import/records.h"

#include <limits>

namespace {

// The digits at pos as a number, read without any fixed-width arithmetic
// until it is known to be small: empty when it exceeds the limit.
std::optional<qint64> digitsUpTo(QByteArrayView text, qsizetype &pos, qint64 limit)
{
    const qsizetype start = pos;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9')
        ++pos;
    QByteArrayView digits = text.sliced(start, pos - start);
    while (!digits.isEmpty() && digits.front() == '0')
        digits = digits.sliced(1);
    if (digits.size() > 12)
        return std::nullopt;
    qint64 value = 0;
    for (const char c : digits)
        value = value * 10 + (c - '0');
    if (value > limit)
        return std::nullopt;
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView text = fuzzInput(data, size);
    constexpr qint64 limit = std::numeric_limits<qint32>::max();

    qsizetype pos = 0;
    const std::optional<qint64> whole = digitsUpTo(text, pos, limit);
    ++pos;
    const std::optional<qint64> fraction = digitsUpTo(text, pos, limit);
    std::optional<qint32> expected;
    if (whole && fraction && *whole * 100 + *fraction <= limit)
        expected = qint32(*whole * 100 + *fraction);

    const std::optional<qint32> got = ParseCostHundredths(text);
    FUZZ_CHECK(got == expected);
    FUZZ_CHECK(!got || *got >= 0);
    return 0;
}
