#include "fuzzcheck.h"
#include "sqlparse.h"

#include "base/sqltext.h"
#include "import/records.h"

#include <QHash>

namespace {

// Longest stored text per column, as counted with doubled apostrophes; the
// database stores a doubled pair as one character, so never more than this.
const QHash<QByteArray, qsizetype> &columnLimits()
{
    static const QHash<QByteArray, qsizetype> limits{
        {"autor", 250}, {"title", 250},   {"izdata2", 10}, {"isbn", 100},   {"tirazh", 50},
        {"objem", 50},  {"vid", 50},      {"otdel", 50},   {"fond", 50},    {"izd", 100},
        {"mesto", 100}, {"lname", 50},    {"fname", 50},   {"rabota", 200}, {"dolzhnost", 100},
        {"rtel", 50},   {"address", 100}, {"dtel", 50},    {"note", 250}};
    return limits;
}

bool evenApostropheRuns(const QByteArray &text)
{
    qsizetype run = 0;
    for (const char c : text) {
        if (c == '\'') {
            ++run;
        } else {
            if (run % 2)
                return false;
            run = 0;
        }
    }
    return run % 2 == 0;
}

void checkStatements(const QByteArray &record, ImportMode mode)
{
    const RecordPlan plan = planRecord(record, mode);
    QByteArray rest = record;
    const QByteArray number = CleanField(CutField(rest, ";"));
    // Each rejection has its cause in the record, and only the catalogue's
    // item number may be negative or too large.
    switch (plan.rejection) {
    case Rejection::None:
        FUZZ_CHECK(IsIntegerText(number));
        break;
    case Rejection::NotANumber:
        FUZZ_CHECK(!IsIntegerText(number));
        break;
    case Rejection::NegativeNumber:
        FUZZ_CHECK(mode == ImportMode::Catalogue && number.startsWith('-')
                   && readItemNumber(number).status == ItemNumber::Negative);
        break;
    case Rejection::NumberTooLarge:
        FUZZ_CHECK(mode == ImportMode::Catalogue && readItemNumber(number).status == ItemNumber::TooLarge);
        break;
    case Rejection::PriceUnreadable:
    case Rejection::PriceTooLarge: {
        FUZZ_CHECK(mode == ImportMode::Catalogue);
        for (int field = 2; field < 13; ++field)
            CutField(rest, ";");
        const Price price = readPrice(CleanField(CutField(rest, ";")));
        FUZZ_CHECK(price.status
                   == (plan.rejection == Rejection::PriceUnreadable ? Price::Unreadable : Price::TooLarge));
        break;
    }
    case Rejection::Unencodable:
        FUZZ_CHECK(false);
    }
    FUZZ_CHECK((plan.rejection == Rejection::None) != plan.statements.isEmpty());
    quint32 known = 0;
    for (const ImportField &field : importFields(mode))
        known |= 1u << (field.number - 1);
    FUZZ_CHECK((plan.cutFields & ~known) == 0);
    if (plan.rejection != Rejection::None)
        return;
    const QList<QByteArray> *statements = &plan.statements;
    FUZZ_CHECK(statements->size() <= (mode == ImportMode::Catalogue ? 2 : 1));
    for (qsizetype i = 0; i < statements->size(); ++i) {
        // Parsing back by SQL's rules proves no literal ended early or never
        // ended, and that no text got outside the values list.
        const std::optional<sqlparse::Insert> insert = sqlparse::parseInsert(statements->at(i));
        FUZZ_CHECK(insert.has_value());
        const QByteArray table = mode == ImportMode::Readers ? "readers" : i == 0 ? "catalog" : "izdatelstvo";
        FUZZ_CHECK(insert->table == table);
        FUZZ_CHECK(insert->values.front().kind == sqlparse::Value::Call);
        for (qsizetype v = 0; v < insert->values.size(); ++v) {
            const sqlparse::Value &value = insert->values[v];
            const auto limit = columnLimits().constFind(insert->columns[v]);
            if (limit != columnLimits().cend()) {
                FUZZ_CHECK(value.kind != sqlparse::Value::Number);
                FUZZ_CHECK(value.text.size() <= *limit);
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView buffer = fuzzInput(data, size);
    const LineEnds ends = detectLineEnds(buffer);
    qsizetype records = 0;
    qsizetype previous = -1;
    for (qsizetype p = 0; p != -1; p = NextRecordStart(buffer, p, ends)) {
        FUZZ_CHECK(p > previous && (p == 0 || p < buffer.size()));
        FUZZ_CHECK(p == 0 || buffer[p - 1] == (ends == LineEnds::Cr ? '\r' : '\n'));
        FUZZ_CHECK(ends != LineEnds::CrLf || p == 0 || buffer[p - 2] == '\r');
        previous = p;
        ++records;

        const QByteArray raw = ReadRecordText(buffer, p, ends);
        FUZZ_CHECK(!raw.contains(ends == LineEnds::Lf ? '\n' : '\r') && !raw.endsWith(' ') && evenApostropheRuns(raw));
        const QByteArray text = trimBlanks(raw);
        FUZZ_CHECK(text == recordText(buffer, p, ends));
        if (text.isEmpty())
            continue;
        checkStatements(text, ImportMode::Catalogue);
        checkStatements(text, ImportMode::Readers);
    }
    FUZZ_CHECK(records == countRecords(buffer, ends));
    return 0;
}
