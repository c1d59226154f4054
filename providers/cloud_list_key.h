// The public half of the key that signs the cloud tool list: 2048-bit RSA in PEM form, lines
// separated by CR LF. The data-unwrapping library checks a list's signature against it.
#pragma once

namespace velmora {

inline constexpr char kCloudListPublicKey[] =
    "-----BEGIN PUBLIC KEY-----\r\n"
    "MIIBIjANBgkqhkiG9w0BAQEFAAOCAQ8AMIIBCgKCAQEAp84HqerOL62CMAjVQrE5\r\n"
    "fsbIJctwQCjwAdJypK3983fQveVd1DLWa3SJCpy4wjcoP23vxlWIft2ScpTvdPJO\r\n"
    "mkzzfs1kr5vTWKNVfvxEE5bU7TNbapmKSsLA5TKbi6c6dqkgLxcomCQzEILkWF4C\r\n"
    "1gAPZNVkxTYESsdiPq6S5FlnNMYUS+S8hNe2AGIJKDJxshonrCqoVoYL3pWUPriS\r\n"
    "SMcu42BOS48qAnLzUKp7ICrJUeD/td7LpDoQYk1s5loisAGZwqqOd1lcIgaHW+71\r\n"
    "pylz/1OBA3RozUROUuhUSejl1kq0kqubtW2HHyeM2TFMLmgkVs+mWQyyx8LV8rQA\r\n"
    "OwIDAQAB\r\n"
    "-----END PUBLIC KEY-----";

}  // namespace velmora
