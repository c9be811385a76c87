// IniFile: whatever the bytes, every section and key it lists can be read, and every value read is
// trimmed, at most MaxValueLength characters and whole UTF-16 (no character cut in two).

#include "FuzzCheck.h"
#include "core/settings/IniFile.h"

using namespace bx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const IniFile ini =
        IniFile::fromBytes(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    fuzz::check(ini.isLoaded(), "bytes read are a loaded file");
    for (const QString& section : ini.sections()) {
        for (const QString& key : ini.keys(section)) {
            fuzz::check(ini.contains(section, key), "a listed key is found",
                        section + QLatin1Char('/') + key);
            const QString value = ini.value(section, key);
            fuzz::check(value == value.trimmed(), "values are trimmed", value);
            fuzz::check(value.size() <= IniFile::MaxValueLength,
                        "values are at most MaxValueLength", QString::number(value.size()));
            fuzz::check(QStringView(value).isValidUtf16(), "values are whole characters", value);
        }
    }
    return 0;
}
