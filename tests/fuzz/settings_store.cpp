// SettingsStore::parse: a text it accepts, formatted and read again, gives the same sections and
// values; a text it refuses names the line at fault.

#include "FuzzCheck.h"
#include "core/settings/SettingsStore.h"

using namespace bx;

namespace {

QString dump(const QList<SettingSection>& sections)
{
    QString out;
    for (const SettingSection& s : sections) {
        out += QLatin1Char('[') + s.name + QStringLiteral("]\n");
        for (const SettingValue& v : s.values)
            out += v.name + QLatin1Char('=') + v.value + QLatin1Char('\n');
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QString problem;
    const auto sections = SettingsStore::parse(bytes, &problem);
    if (!sections) {
        fuzz::check(problem.startsWith(QLatin1String("line ")), "a refused text names the line",
                    problem);
        return 0;
    }
    const QByteArray written = SettingsStore::format(*sections);
    QString again;
    const auto read = SettingsStore::parse(written, &again);
    fuzz::check(read.has_value(), "a written text reads again", again);
    const QString before = dump(*sections);
    const QString after = dump(*read);
    fuzz::check(before == after, "a written text reads again with the same values",
                before + QStringLiteral("----\n") + after);
    return 0;
}
