// SPDX-License-Identifier: GPL-3.0-or-later
/*
 * Compatibility shim that lets Debian 12's mencoder (built against
 * libavcodec 59) run the transcode command that Quorvel issues.
 *
 * Loaded into the real mencoder with LD_PRELOAD by the mencoder launcher.
 * It mends two faults of that build:
 *
 *  1. mencoder fills only the old channel-count field of an audio encoder,
 *     so libavcodec 59 derives a channel layout of unspecified order, which
 *     its encoders (mp2 among them) refuse. avcodec_open2 is wrapped so an
 *     audio encoder without a usable layout gets the default layout for its
 *     channel count.
 *
 *  2. On AVI input mencoder sends the decoder an end-of-stream request (a
 *     null packet) right after the first packet; libavcodec then refuses
 *     every later packet and the output holds one picture repeated.
 *     avcodec_send_packet is wrapped so a drain request to an audio or video
 *     decoder is dropped and reported as accepted.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stddef.h>

#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>

typedef int (*open2_fn)(AVCodecContext *, const AVCodec *, AVDictionary **);
typedef int (*send_packet_fn)(AVCodecContext *, const AVPacket *);

static int legacy_channel_count(const AVCodecContext *ctx)
{
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return ctx->channel_layout == 0 ? ctx->channels : 0;
#pragma GCC diagnostic pop
}

int avcodec_open2(AVCodecContext *ctx, const AVCodec *codec, AVDictionary **options)
{
    static open2_fn real_open2;
    if (!real_open2)
        real_open2 = (open2_fn)dlsym(RTLD_NEXT, "avcodec_open2");

    const AVCodec *used = codec ? codec : (ctx ? ctx->codec : NULL);
    if (ctx && used && ctx->codec_type == AVMEDIA_TYPE_AUDIO && av_codec_is_encoder(used)) {
        int channels = 0;
        if (ctx->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC && ctx->ch_layout.nb_channels > 0)
            channels = ctx->ch_layout.nb_channels;
        else if (ctx->ch_layout.nb_channels == 0)
            channels = legacy_channel_count(ctx);
        if (channels > 0) {
            av_channel_layout_uninit(&ctx->ch_layout);
            av_channel_layout_default(&ctx->ch_layout, channels);
        }
    }
    return real_open2(ctx, codec, options);
}

int avcodec_send_packet(AVCodecContext *ctx, const AVPacket *pkt)
{
    static send_packet_fn real_send_packet;
    if (!real_send_packet)
        real_send_packet = (send_packet_fn)dlsym(RTLD_NEXT, "avcodec_send_packet");

    const int drain = !pkt || (!pkt->data && pkt->size == 0 && !pkt->side_data_elems);
    if (drain && ctx && av_codec_is_decoder(ctx->codec)
        && (ctx->codec_type == AVMEDIA_TYPE_AUDIO || ctx->codec_type == AVMEDIA_TYPE_VIDEO))
        return 0;
    return real_send_packet(ctx, pkt);
}
