#include "fw_upgrade.h"

#include <cstdint>
#include <cstdlib>
#include <unistd.h>

#include "fw_body.h"
#include "fw_consts.h"
#include "fw_html.h"
#include "fw_image.h"
#include "fw_input.h"
#include "fw_lock.h"
#include "fw_stage.h"
#include "handles.h"

namespace {

using Body = MallocPtr<uint8_t>;

void close_page(FILE* out) {
    fputs(FW_CLOSE_BODY, out);
    fputs(FW_CLOSE_HTML, out);
    fflush(out);
}

// A failure before the staging file exists: nothing to remove.
int refuse(FILE* out, const char* text) {
    fputs(text, out);
    close_page(out);
    return 1;
}

// Every failure once the staging file exists: the text, the file removed.
int fail(FILE* out, const char* staging, const FwHooks& hooks, const char* text) {
    fputs(text, out);
    fflush(out);  // ahead of anything the commands might print
    char rm[256];
    snprintf(rm, sizeof rm, FW_RM_FORMAT, staging);
    hooks.shell(rm);
    hooks.shell(FW_SYNC);
    close_page(out);
    return 1;
}

// The field name is the request's own text: it goes into the page as text.
int fail_name(FILE* out, const char* staging, const FwHooks& hooks, const char* name) {
    char shown[FW_NAME_HTML_SIZE];
    html_escape(name, shown, sizeof shown);
    fprintf(out, FW_NAME_FORMAT, shown);
    return fail(out, staging, hooks, "");
}

}  // namespace

int fw_upgrade_run(const char* content_length, int in, FILE* out, const FwSetup& setup,
                   const FwHooks& hooks) {
    const char* staging = setup.staging;
    // Before anything else: a second upload would stop the services again and
    // truncate or remove the first one's staged image.
    UniqueFd lock = take_upload_lock(setup.lock);
    fputs(FW_HEADER, out);
    fputs(FW_GREETING, out);
    fflush(out);
    if (!lock) return refuse(out, FW_ERR_CREATE);

    // A request that cannot carry one image (a plain GET, a page's image tag,
    // a small form) is answered before any service is stopped or any memory
    // taken.
    size_t len = parse_content_length(content_length, FW_BODY_MAX);
    if (len < FW_IMAGE_SIZE) return refuse(out, FW_ERR_MEMORY);

    stop_services(hooks);

    // From here on every return removes the image's temporary file, and a
    // killed run leaves it under that name alone.
    Staging stage;
    if (!stage.create(staging)) return refuse(out, FW_ERR_CREATE);

    Body body(static_cast<uint8_t*>(malloc(len)));
    if (!body) return fail(out, staging, hooks, FW_ERR_MEMORY);
    if (read_body(in, body.get(), len, setup.idle_ms) < len)
        return fail(out, staging, hooks, FW_ERR_SHORT);

    char name[FW_NAME_MAX + 1];
    capture_field_name(body.get(), len, name);
    size_t start;
    if (!locate_image(body.get(), len, &start)) return fail(out, staging, hooks, FW_ERR_NO_START);
    const uint8_t* image = body.get() + start;

    char mark[FW_MARK_LEN + 1] = {};
    fill_name_mark(mark, image + FW_MARK_OFFSET, FW_MARK_LEN);
    if (!name_mark_ok(mark)) return fail_name(out, staging, hooks, name);
    if (!image_checksum_ok(image)) return fail(out, staging, hooks, FW_ERR_CHECKSUM);

    FILE* file = stage.file();
    if (fwrite(image, 1, FW_IMAGE_SIZE, file) < FW_IMAGE_SIZE)
        return fail(out, staging, hooks, FW_ERR_WRITE);
    // What stdio still holds goes out now: a failure there is a lost write.
    if (fflush(file) != 0 || fsync(fileno(file)) != 0)
        return fail(out, staging, hooks, FW_ERR_WRITE);
    bool back_ok = staged_image_ok(file);
    if (stage.close() != 0) return fail(out, staging, hooks, FW_ERR_WRITE);
    if (!back_ok) return fail_name(out, staging, hooks, name);
    // Something put at the staging path meanwhile is not ours to replace
    // or remove: the answer is that of a path that can't be created.
    if (!stage.place()) return refuse(out, FW_ERR_CREATE);
    return 0;
}
