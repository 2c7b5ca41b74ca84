/* A QEMU TCG plugin that counts the guest instructions a program runs (all
 * its threads) and appends "insns N" to the file given as out=FILE when the
 * program exits. Built by bench/player_insns.sh against qemu-plugin.h of the
 * installed QEMU's own source package. */
#include <qemu-plugin.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>

QEMU_PLUGIN_EXPORT int qemu_plugin_version = QEMU_PLUGIN_VERSION;

static uint64_t s_insns;
static char s_out[4096];

static void tb_exec(unsigned int vcpu, void* udata) {
    (void)vcpu;
    __atomic_fetch_add(&s_insns, (uint64_t)(uintptr_t)udata, __ATOMIC_RELAXED);
}

static void tb_trans(qemu_plugin_id_t id, struct qemu_plugin_tb* tb) {
    (void)id;
    qemu_plugin_register_vcpu_tb_exec_cb(tb, tb_exec, QEMU_PLUGIN_CB_NO_REGS,
                                         (void*)(uintptr_t)qemu_plugin_tb_n_insns(tb));
}

static void at_exit(qemu_plugin_id_t id, void* p) {
    (void)id;
    (void)p;
    FILE* f = fopen(s_out, "a");
    if (!f) return;
    fprintf(f, "insns %llu\n", (unsigned long long)__atomic_load_n(&s_insns, __ATOMIC_RELAXED));
    fclose(f);
}

QEMU_PLUGIN_EXPORT int qemu_plugin_install(qemu_plugin_id_t id, const qemu_info_t* info, int argc,
                                           char** argv) {
    (void)info;
    for (int i = 0; i < argc; i++)
        if (strncmp(argv[i], "out=", 4) == 0) snprintf(s_out, sizeof s_out, "%s", argv[i] + 4);
    if (!s_out[0]) {
        fprintf(stderr, "insn_count: give out=FILE\n");
        return -1;
    }
    qemu_plugin_register_vcpu_tb_trans_cb(id, tb_trans);
    qemu_plugin_register_atexit_cb(id, at_exit, NULL);
    return 0;
}
