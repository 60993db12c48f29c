/*
 * The relay between test_mixer_remote and the mixer window it runs:
 * remote_peer.exe makes a top-level window titled "Tarnell" in its own
 * process and, told by the test,
 *   kPeerPost   (wParam code, lParam arg)  posts MixerRemoteMessage to the mixer;
 *   kPeerHello                             posts RC_HELLO with its own window;
 *   WM_COPYDATA (dwData kPeerForward)      sends the enclosed descriptor
 *               (PeerDescriptor + bytes) to the mixer with SendMessage;
 * and hands back to the test's listener window
 *   kPeerReply  (wParam code, lParam arg)  each MixerRemoteMessage the mixer posted it;
 *   kPeerSent   (wParam result)            what the mixer's WM_COPYDATA returned.
 * Command line: "<listener> <mixer>" as hexadecimal window handles.  It
 * ends on WM_CLOSE, or by itself after two minutes.
 */
#ifndef CORV_MIXER_TESTS_REMOTE_PEER_H
#define CORV_MIXER_TESTS_REMOTE_PEER_H

#include <windows.h>
#include <cstdint>

constexpr UINT kPeerPost = WM_APP + 1;
constexpr UINT kPeerHello = WM_APP + 2;
constexpr UINT kPeerReply = WM_APP + 3;
constexpr UINT kPeerSent = WM_APP + 4;
constexpr UINT kPeerForwardNow = WM_APP + 5;
constexpr ULONG_PTR kPeerForward = 0x7EE7;

#pragma pack(push, 1)
struct PeerDescriptor {
    uint64_t dwData;   /* as the mixer is to receive it */
    uint32_t cbData;   /* the bytes that follow */
};
#pragma pack(pop)
static_assert(sizeof(PeerDescriptor) == 12, "peer descriptor header");

#endif
