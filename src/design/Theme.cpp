#include "design/Theme.h"

#include <QGuiApplication>
#include <QPalette>

namespace tw {

QColor Theme::accent()
{
    return QColor::fromRgbF(0, 0.72f, 0.64f);
}

QColor Theme::cardBackground()
{
    return QGuiApplication::palette().color(QPalette::Base);
}

QColor Theme::synced()
{
    return QColor::fromRgbF(0.063f, 0.725f, 0.506f);
}

QColor Theme::syncing()
{
    return QColor::fromRgbF(0.961f, 0.62f, 0.043f);
}

QColor Theme::danger()
{
    return QColor::fromRgbF(0.937f, 0.267f, 0.267f);
}

QColor Theme::offline()
{
    return QColor::fromRgbF(0.42f, 0.447f, 0.502f);
}

QColor Theme::orange()
{
    return QColor::fromRgb(255, 149, 0);
}

QColor Theme::neutral()
{
    return QColor::fromRgb(110, 110, 115);
}

QColor Theme::healthColor(const SyncHealth &health)
{
    using Kind = SyncHealth::Kind;
    switch (health.kind) {
    case Kind::AllSynced:
        return synced();
    case Kind::Error:
        return danger();
    case Kind::Stopped:
    case Kind::Offline:
        return offline();
    case Kind::Paused:
    case Kind::Syncing:
    case Kind::Waiting:
        return syncing();
    }
    return offline();
}

std::optional<Symbol> Theme::healthSymbol(const SyncHealth &health)
{
    using Kind = SyncHealth::Kind;
    switch (health.kind) {
    case Kind::Stopped:
    case Kind::Waiting:
        return Symbol::CircleDashed;
    case Kind::AllSynced:
        return Symbol::Checkmark;
    case Kind::Paused:
        return Symbol::PauseFill;
    case Kind::Offline:
        return Symbol::DriveOffline;
    case Kind::Error:
        return Symbol::Exclamationmark;
    case Kind::Syncing:
        break;
    }
    return std::nullopt;
}

Symbol Theme::traySymbol(const SyncHealth &health)
{
    using Kind = SyncHealth::Kind;
    switch (health.kind) {
    case Kind::Syncing:
        return Symbol::ArrowTriangle2Circlepath;
    case Kind::Stopped:
    case Kind::Waiting:
        return Symbol::CircleDashed;
    case Kind::AllSynced:
        return Symbol::CheckmarkCircleFill;
    case Kind::Paused:
        return Symbol::PauseCircleFill;
    case Kind::Offline:
        return Symbol::DriveOffline;
    case Kind::Error:
        break;
    }
    return Symbol::ExclamationmarkTriangleFill;
}

} // namespace tw
