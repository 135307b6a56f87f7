#include "fuzzcheck.h"
#include "sqlparse.h"

#include "base/sqltext.h"

namespace {

// What the database stores for a literal built from value: a run of n
// apostrophes becomes ceil(n / 2), the balanced escaping's contract.
QByteArray storedText(const QByteArray &value)
{
    QByteArray stored;
    for (qsizetype i = 0; i < value.size();) {
        if (value[i] != '\'') {
            stored += value[i++];
            continue;
        }
        qsizetype run = 0;
        while (i + run < value.size() && value[i + run] == '\'')
            ++run;
        stored.append((run + 1) / 2, '\'');
        i += run;
    }
    return stored;
}

// The literal must run from start to just before the trailer and decode to
// the stored text.
void checkLiteral(const QByteArray &sql, qsizetype start, char trailer, const QByteArray &value)
{
    qsizetype pos = start;
    const std::optional<QByteArray> decoded = sqlparse::readLiteral(sql, pos);
    FUZZ_CHECK(decoded.has_value());
    FUZZ_CHECK(pos == sql.size() - 1 && sql.back() == trailer);
    FUZZ_CHECK(*decoded == storedText(value));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray value = fuzzInput(data, size).toByteArray();

    const QByteArray escaped = EscapeQuotes(value);
    FUZZ_CHECK(EscapeQuotes(escaped) == escaped);
    FUZZ_CHECK(escaped.size() >= value.size() && escaped.size() <= 2 * value.size());

    for (const char trailer : {',', ')'}) {
        const QByteArray literal = SqlValue(value, 's', trailer);
        if (value.isEmpty()) {
            FUZZ_CHECK(literal == QByteArray("null") + trailer);
            continue;
        }
        checkLiteral(literal, 0, trailer, value);

        const QByteArray term = WhereTerm(value, '=', 's', trailer);
        FUZZ_CHECK(term.startsWith("= "));
        checkLiteral(term, 2, trailer, value);
    }
    return 0;
}
