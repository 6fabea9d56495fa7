#include "change_log.h"

#include "text_bytes.h"

static const char* presenceName(Presence presence) {
    switch (presence) {
    case Presence::Present: return "present";
    case Presence::Absent: return "absent";
    case Presence::NeedsUpdate: return "needs update";
    }
    return "?";
}

std::string describeChange(const SharedRouter& router, const RouterChange& change, const Origin& origin) {
    const RouterModel& model = router.model();
    const std::string index = std::to_string(change.index);
    std::string what;
    switch (change.kind) {
    case ChangeKind::Route:
        what = "route " + index + " " + std::to_string(router.route(change.level, change.index));
        if (change.level != 1) what += " level " + std::to_string(change.level);
        break;
    case ChangeKind::InputLabel: what = "label " + index + " " + escapeText(model.inputLabel(change.index)); break;
    case ChangeKind::OutputLabel:
        what = "output label " + index + " " + escapeText(model.outputLabel(change.index));
        break;
    case ChangeKind::Lock:
        what = "lock " + index + (model.lock(change.index) == Lock::Unlocked ? " freed" : " taken");
        break;
    case ChangeKind::Device: what = std::string("device ") + presenceName(model.presence()); break;
    }
    return what + " by " + origin.describe();
}

int logChanges(SharedRouter& router, std::ostream& log) {
    return router.subscribe([&router, &log](const RouterChange& change, const Origin& origin) {
        log << describeChange(router, change, origin) << std::endl;
    });
}
