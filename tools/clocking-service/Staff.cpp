// The enrolled staff: identifiers, names, and their lookup.

#include "tools/clocking-service/Staff.h"

#include "platform/TextTrim.h"
#include "tools/clocking-service/Clock.h"

namespace qv::clocking {

std::string trimBlanks(std::string_view text) {
    return std::string(trimmed(text, isSpaceOrTab));
}

namespace {

// A picture neither a member nor a ledger row refers to any longer.
void dropUnusedPhotos(Database& db) {
    db.execute("DELETE FROM photos WHERE id NOT IN (SELECT photo_id FROM staff WHERE photo_id "
               "IS NOT NULL) AND id NOT IN (SELECT photo_id FROM ledger WHERE photo_id IS NOT "
               "NULL)");
}

} // namespace

void enroll(Database& db, const StaffMember& member) {
    db.transaction([&] {
        std::optional<std::int64_t> photoId;
        if (!member.photo.empty()) {
            db.prepare("INSERT INTO photos (jpeg) VALUES (?)")
                .bind(1, std::span<const std::uint8_t>(member.photo))
                .run();
            photoId = db.lastInsertId();
        }
        db.prepare("INSERT INTO staff (id, name, photo_id, enrolled_at) VALUES (?, ?, ?, ?) "
                   "ON CONFLICT(id) DO UPDATE SET name = excluded.name, "
                   "photo_id = excluded.photo_id, enrolled_at = excluded.enrolled_at")
            .bind(1, trimBlanks(member.id))
            .bind(2, member.name)
            .bind(3, photoId)
            .bind(4, member.enrolledAt.empty() ? utcTimestamp(now()) : member.enrolledAt)
            .run();
        dropUnusedPhotos(db);
    });
}

bool removeStaff(Database& db, std::string_view id) {
    return db.transaction([&] {
        db.prepare("DELETE FROM staff WHERE id = ?").bind(1, trimBlanks(id)).run();
        const bool removed = db.changes() > 0;
        dropUnusedPhotos(db);
        return removed;
    });
}

std::optional<StaffMember> findStaff(Database& db, std::string_view id, bool withPhoto) {
    auto query = db.prepare("SELECT id, name, enrolled_at, photo_id FROM staff WHERE id = ?");
    query.bind(1, trimBlanks(id));
    if (!query.step()) {
        return std::nullopt;
    }
    StaffMember member{query.text(0), query.text(1), {}, query.text(2)};
    if (!query.isNull(3)) {
        member.photoId = query.integer(3);
        member.hasPhoto = true;
        if (withPhoto) {
            member.photo = storedPhoto(db, *member.photoId);
        }
    }
    return member;
}

std::vector<std::uint8_t> storedPhoto(Database& db, std::int64_t photoId) {
    auto query = db.prepare("SELECT jpeg FROM photos WHERE id = ?");
    query.bind(1, photoId);
    return query.step() ? query.blob(0) : std::vector<std::uint8_t>();
}

std::vector<StaffMember> listStaff(Database& db) {
    auto query =
        db.prepare("SELECT id, name, enrolled_at, photo_id IS NOT NULL FROM staff ORDER BY id");
    std::vector<StaffMember> members;
    while (query.step()) {
        members.push_back({query.text(0), query.text(1), {}, query.text(2), query.integer(3) != 0});
    }
    return members;
}

} // namespace qv::clocking
