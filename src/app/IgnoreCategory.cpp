#include "app/IgnoreCategory.h"

namespace tw {

namespace {

QList<IgnoreCategory> makeCategories()
{
    return {
        {QStringLiteral("macos"), QStringLiteral("macOS system files"),
         QStringLiteral("Skips .DS_Store, Spotlight, Trash and other Mac clutter."),
         {QStringLiteral(".DS_Store"), QStringLiteral(".DS_Store?"), QStringLiteral("._*"),
          QStringLiteral(".Spotlight-V100"), QStringLiteral(".Trashes"), QStringLiteral(".Trash-*"),
          QStringLiteral(".TemporaryItems"), QStringLiteral(".fseventsd"), QStringLiteral(".DocumentRevisions-V100"),
          QStringLiteral(".DocumentRevisions-V100-bad-1"), QStringLiteral(".VolumeIcon.icns"),
          QStringLiteral(".icloud"), QStringLiteral(".iCloud")}},
        {QStringLiteral("windows"), QStringLiteral("Windows system files"),
         QStringLiteral("Skips Thumbs.db, desktop.ini, Recycle Bin and similar."),
         {QStringLiteral("Thumbs.db"), QStringLiteral("ehthumbs.db"), QStringLiteral("desktop.ini"),
          QStringLiteral("$RECYCLE.BIN"), QStringLiteral("$Recycle.Bin"), QStringLiteral("System Volume Information"),
          QStringLiteral("lost+found")}},
        {QStringLiteral("nas"), QStringLiteral("NAS / Synology files"),
         QStringLiteral("Skips @eaDir, #recycle, snapshots and other NAS housekeeping."),
         {QStringLiteral("@eaDir"), QStringLiteral("@SynoResource"), QStringLiteral("#SynoRecycle"),
          QStringLiteral("#snapshot"), QStringLiteral("?snapshot"), QStringLiteral("#recycle"),
          QStringLiteral("?recycle"), QStringLiteral(".!@#$recycle"), QStringLiteral(".SynologyWorkingDirectory"),
          QStringLiteral("DfsrPrivate"), QStringLiteral(".zfs")}},
        {QStringLiteral("temp"), QStringLiteral("Temporary & partial files"),
         QStringLiteral("Skips half-written downloads, lock files and editor temp files."),
         {QStringLiteral("~*"), QStringLiteral("*~"), QStringLiteral(".~lock.*"), QStringLiteral("*.tmp"),
          QStringLiteral("*.tmp.chck"), QStringLiteral("*.part"), QStringLiteral("*.filepart"),
          QStringLiteral("*.crdownload"), QStringLiteral("*.download"), QStringLiteral("*.swn"),
          QStringLiteral("*.swp"), QStringLiteral("*.swo"), QStringLiteral(".csync_journal.db"),
          QStringLiteral(".csync_journal.db.tmp")}},
        {QStringLiteral("apps"), QStringLiteral("App caches & backups"),
         QStringLiteral("Skips Dropbox/cache folders, thumbnails and known backup folders (FCP_BU, \u2026)."),
         {QStringLiteral(".dropbox"), QStringLiteral(".dropbox.attr"), QStringLiteral(".dropbox.cache"),
          QStringLiteral(".streams"), QStringLiteral(".caches"), QStringLiteral(".Statuses"),
          QStringLiteral(".teamdrive"), QStringLiteral(".@__thumb"), QStringLiteral(".thumbnails"),
          QStringLiteral("_gsdata_"), QStringLiteral("_Archived Items"), QStringLiteral("FCP_BU"),
          QStringLiteral(".neofinder.abemeda.volinfo"), QStringLiteral(".hedge-enabled"), QStringLiteral(".FCLM-UUID"),
          QStringLiteral(".ARCTIC-UUID"), QStringLiteral(".bzvol")}},
    };
}

} // namespace

const QList<IgnoreCategory> &IgnoreCategory::all()
{
    static const QList<IgnoreCategory> categories = makeCategories();
    return categories;
}

const QSet<QString> &IgnoreCategory::allPatterns()
{
    static const QSet<QString> patterns = [] {
        QSet<QString> set;
        for (const IgnoreCategory &category : all())
            for (const QString &pattern : category.patterns)
                set.insert(pattern);
        return set;
    }();
    return patterns;
}

} // namespace tw
