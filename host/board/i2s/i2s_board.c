// SPDX-License-Identifier: GPL-2.0
/*
 * The box's I2S device on the emulated board: /dev/i2s takes the platform
 * driver's five requests (the value is the argument itself) and PCM by
 * write(), and plays it at the rate it was told, a quarter second of buffer
 * ahead, as the real interface does. Everything it is given comes out of
 * /dev/i2s_tap as records for the host (the board relays them over a virtio
 * serial port): a 4-byte header, type ('J' a journal line, 'P' samples in
 * the CPU's order) and 24-bit length, big-endian, then the payload.
 */
#include <linux/delay.h>
#include <linux/fs.h>
#include <linux/hrtimer.h>
#include <linux/kfifo.h>
#include <linux/ktime.h>
#include <linux/miscdevice.h>
#include <linux/module.h>
#include <linux/mutex.h>
#include <linux/sched/signal.h>
#include <linux/slab.h>
#include <linux/uaccess.h>
#include <linux/wait.h>

#define I2S_VOLUME 0x80044E20
#define I2S_FREQ 0x80044E21
#define I2S_FORMAT 0x80044E22
#define I2S_CHANNEL 0x80044E23
#define I2S_MUTE 0x80044E29

#define TAP_SIZE (256 * 1024)
#define CHUNK 2048
#define BUFFER_NS (NSEC_PER_SEC / 4)

static unsigned int speed = 1;
module_param(speed, uint, 0644);
MODULE_PARM_DESC(speed, "pacing factor: 1 real time, N N times as fast, 0 unpaced");

/* For the benchmarks: when the latest opening took its first samples. */
static unsigned int first_write_ms;
module_param(first_write_ms, uint, 0444);
MODULE_PARM_DESC(first_write_ms, "uptime in ms of the first write after the latest open");

static DEFINE_MUTEX(dev_lock);   /* the device's settings and the tap's writers */
static DEFINE_KFIFO(tap, u8, TAP_SIZE);
static DECLARE_WAIT_QUEUE_HEAD(tap_readable);
static DECLARE_WAIT_QUEUE_HEAD(tap_writable);
static atomic_t tap_readers = ATOMIC_INIT(0);

struct opening {
	unsigned int rate, channels, bits;
	unsigned long long bytes;
	ktime_t play_end;
};

/* Puts one record on the tap, waiting for room while a reader drains it;
 * without a reader the record is dropped. Called with dev_lock held. */
static int tap_put(u8 type, const void *data, size_t len, bool user)
{
	u8 head[4] = { type, len >> 16, len >> 8, len };
	unsigned int copied;

	if (!atomic_read(&tap_readers))
		return 0;
	if (wait_event_interruptible(tap_writable,
			kfifo_avail(&tap) >= len + sizeof(head) || !atomic_read(&tap_readers)))
		return -ERESTARTSYS;
	if (!atomic_read(&tap_readers))
		return 0;
	kfifo_in(&tap, head, sizeof(head));
	if (user) {
		if (kfifo_from_user(&tap, (const void __user *)data, len, &copied) || copied != len)
			return -EFAULT;
	} else {
		kfifo_in(&tap, data, len);
	}
	wake_up_interruptible(&tap_readable);
	return 0;
}

static void journal(const char *fmt, ...)
{
	char line[64];
	va_list ap;
	int n;

	va_start(ap, fmt);
	n = vscnprintf(line, sizeof(line), fmt, ap);
	va_end(ap);
	tap_put('J', line, n, false);
}

static int i2s_open(struct inode *inode, struct file *f)
{
	struct opening *o = kzalloc(sizeof(*o), GFP_KERNEL);

	if (!o)
		return -ENOMEM;
	o->bits = 16;
	f->private_data = o;
	mutex_lock(&dev_lock);
	journal("open");
	mutex_unlock(&dev_lock);
	return 0;
}

static int i2s_release(struct inode *inode, struct file *f)
{
	struct opening *o = f->private_data;

	mutex_lock(&dev_lock);
	journal("close %llu", o->bytes);
	mutex_unlock(&dev_lock);
	kfree(o);
	return 0;
}

static long i2s_ioctl(struct file *f, unsigned int cmd, unsigned long arg)
{
	struct opening *o = f->private_data;
	const char *name;

	switch (cmd) {
	case I2S_VOLUME: name = "VOLUME"; break;
	case I2S_FREQ: name = "FREQ"; o->rate = arg; break;
	case I2S_FORMAT: name = "FORMAT"; o->bits = arg; break;
	case I2S_CHANNEL: name = "CHANNEL"; o->channels = arg; break;
	case I2S_MUTE: name = "MUTE"; break;
	default:
		mutex_lock(&dev_lock);
		journal("request 0x%x refused", cmd);
		mutex_unlock(&dev_lock);
		return -ENOTTY;
	}
	mutex_lock(&dev_lock);
	journal("%s %ld", name, (long)arg);
	mutex_unlock(&dev_lock);
	return 0;
}

static ssize_t i2s_write(struct file *f, const char __user *buf, size_t size, loff_t *pos)
{
	struct opening *o = f->private_data;
	unsigned long long per_sec = (unsigned long long)o->rate * o->channels * (o->bits / 8);
	size_t done = 0;
	int err = 0;

	if (!o->bytes && size)
		first_write_ms = ktime_to_ms(ktime_get_boottime());

	while (done < size) {
		size_t n = min_t(size_t, size - done, CHUNK);

		mutex_lock(&dev_lock);
		err = tap_put('P', buf + done, n, true);
		mutex_unlock(&dev_lock);
		if (err)
			break;
		done += n;
		o->bytes += n;
		if (speed && per_sec) {
			ktime_t now = ktime_get();
			s64 ahead;

			if (ktime_before(o->play_end, now))
				o->play_end = now;
			o->play_end = ktime_add_ns(o->play_end, div64_u64(n * NSEC_PER_SEC, per_sec * speed));
			ahead = ktime_to_ns(ktime_sub(o->play_end, now)) - BUFFER_NS / speed;
			if (ahead > 0) {
				ktime_t t = ns_to_ktime(ahead);

				set_current_state(TASK_INTERRUPTIBLE);
				if (schedule_hrtimeout(&t, HRTIMER_MODE_REL) && signal_pending(current)) {
					err = -ERESTARTSYS;
					break;
				}
			}
		}
	}
	if (done)
		return done;
	return err;
}

static int tap_open(struct inode *inode, struct file *f)
{
	atomic_inc(&tap_readers);
	return 0;
}

static int tap_release(struct inode *inode, struct file *f)
{
	atomic_dec(&tap_readers);
	wake_up_interruptible(&tap_writable);
	return 0;
}

static ssize_t tap_read(struct file *f, char __user *buf, size_t size, loff_t *pos)
{
	unsigned int copied;
	int err;

	if (wait_event_interruptible(tap_readable, !kfifo_is_empty(&tap)))
		return -ERESTARTSYS;
	err = kfifo_to_user(&tap, buf, size, &copied);
	wake_up_interruptible(&tap_writable);
	return err ? err : copied;
}

static const struct file_operations i2s_fops = {
	.owner = THIS_MODULE,
	.open = i2s_open,
	.release = i2s_release,
	.unlocked_ioctl = i2s_ioctl,
	.write = i2s_write,
};

static const struct file_operations tap_fops = {
	.owner = THIS_MODULE,
	.open = tap_open,
	.release = tap_release,
	.read = tap_read,
};

static struct miscdevice i2s_dev = { .minor = MISC_DYNAMIC_MINOR, .name = "i2s", .fops = &i2s_fops };
static struct miscdevice tap_dev = { .minor = MISC_DYNAMIC_MINOR, .name = "i2s_tap", .fops = &tap_fops };

static int __init i2s_init(void)
{
	int err = misc_register(&i2s_dev);

	if (err)
		return err;
	err = misc_register(&tap_dev);
	if (err)
		misc_deregister(&i2s_dev);
	return err;
}

static void __exit i2s_exit(void)
{
	misc_deregister(&tap_dev);
	misc_deregister(&i2s_dev);
}

module_init(i2s_init);
module_exit(i2s_exit);
MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("The music box's I2S interface on the emulated board");
