#include "core/platform/AddedDatePlatform.h"
#include "core/platform/DarwinAddedDate.h"
#include "core/platform/PathText.h"

#include <cerrno>
#include <cstring>
#include <sys/attr.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace skyloom::platform {

// An absent date-added reads as 1970; a read 0 is not trusted as a date.
const bool datesBefore1970AreReal = false;

namespace {

static_assert(darwin::attrBitMapCount == ATTR_BIT_MAP_COUNT);
static_assert(darwin::attrCommonAddedTime == ATTR_CMN_ADDEDTIME);
static_assert(darwin::attrCommonReturnedAttrs == ATTR_CMN_RETURNED_ATTRS);
static_assert(darwin::optionNoFollow == FSOPT_NOFOLLOW);
static_assert(sizeof(struct attrlist) == sizeof(darwin::AttributeList));
static_assert(sizeof(struct timespec) == darwin::timeSpecSize);

struct attrlist systemList(const darwin::AttributeList& list) {
    struct attrlist out {};
    out.bitmapcount = list.bitmapcount;
    out.reserved = list.reserved;
    out.commonattr = list.commonattr;
    out.volattr = list.volattr;
    out.dirattr = list.dirattr;
    out.fileattr = list.fileattr;
    out.forkattr = list.forkattr;
    return out;
}

int callGetattrlist(const char* path, darwin::AttributeList& list, void* buffer, std::size_t size,
                    std::uint32_t options) {
    struct attrlist request = systemList(list);
    return ::getattrlist(path, &request, buffer, size, options) == 0 ? 0 : errno;
}

int callSetattrlist(const char* path, darwin::AttributeList& list, void* buffer, std::size_t size,
                    std::uint32_t options) {
    struct attrlist request = systemList(list);
    return ::setattrlist(path, &request, buffer, size, options) == 0 ? 0 : errno;
}

bool isUserImmutable(const char* path) {
    struct stat info {};
    return ::lstat(path, &info) == 0 && (info.st_flags & UF_IMMUTABLE) != 0;
}

const darwin::SystemCalls& systemCalls() {
    static const darwin::SystemCalls calls{callGetattrlist, callSetattrlist, isUserImmutable};
    return calls;
}

// The attribute calls take the path with FSOPT_NOFOLLOW; the handle carries
// the volume's granularity.
OpenedFolder openFolder(const std::string& path, bool forWriting) {
    OpenedFolder folder{path, UniqueFd(), 1.0};
    struct statfs volume {};
    if (forWriting && ::statfs(path.c_str(), &volume) == 0)
        folder.granularity = timeGranularity(lowerCase(volume.f_fstypename));
    return folder;
}

} // namespace

const AddedDatePrimitives& systemAddedDatePrimitives() {
    static const AddedDatePrimitives primitives{
        openFolder,
        [](const OpenedFolder& folder) {
            return darwin::readAddedTime(systemCalls(), folder.path);
        },
        [](const OpenedFolder& folder, TimeSpec time) {
            darwin::writeAddedTime(systemCalls(), folder.path, time);
        }};
    return primitives;
}

} // namespace skyloom::platform
