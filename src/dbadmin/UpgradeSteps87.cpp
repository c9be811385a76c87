#include "dbadmin/UpgradeSteps.h"

namespace bx {

namespace {

// The file cabinet's tree reads the published rows of ATTACH only, and for each of them looks for
// a newer published row of the same file name (and category). Among the many attachments of
// tasks, which are not published, a partial index of the published rows serves both: the search
// for a newer version finds it in the index alone.
void step87(StepActions& a)
{
    a.run(QStringLiteral("CREATE INDEX IF NOT EXISTS IX_ATTACH_Published ON ATTACH "
                         "(Attach_Filename, Attach_Number, Category) WHERE Publish <> 0"));
}

} // namespace

QList<StepDefinition> upgradeSteps87()
{
    return {{87, QStringLiteral("Published attachments indexed by file name for the file cabinet"),
             ErrorPolicy::Strict, step87}};
}

} // namespace bx
