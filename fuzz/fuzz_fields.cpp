#include "fuzzcheck.h"

#include "import/records.h"

// The first byte says how many of the following bytes form the separator set;
// the rest is the record to cut.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView input = fuzzInput(data, size);
    if (input.isEmpty())
        return 0;
    const qsizetype setSize = std::min<qsizetype>(static_cast<unsigned char>(input[0]) % 4, input.size() - 1);
    const QByteArrayView separators = input.sliced(1, setSize);
    QByteArray rest = input.sliced(1 + setSize).toByteArray();

    for (qsizetype guard = rest.size() + 1; guard > 0; --guard) {
        const QByteArray before = rest;
        const QByteArray field = CutField(rest, separators);
        for (const char c : field)
            FUZZ_CHECK(!charInSet(c, separators));
        // Either the whole rest was the field, or field + separator + rest.
        if (!(rest.isEmpty() && field == before))
            FUZZ_CHECK(before.size() == field.size() + 1 + rest.size() && before.startsWith(field)
                       && charInSet(before[field.size()], separators) && before.endsWith(rest));

        const QByteArray cleaned = CleanField(field);
        FUZZ_CHECK(cleaned.size() <= field.size() && field.contains(cleaned));
        FUZZ_CHECK(
            cleaned.isEmpty()
            || (static_cast<unsigned char>(cleaned.front()) > 32 && static_cast<unsigned char>(cleaned.back()) > 32));
        FUZZ_CHECK(trimBlanks(cleaned) == cleaned);
        if (rest.isEmpty())
            break;
    }
    FUZZ_CHECK(rest.isEmpty());
    return 0;
}
