#include "common/ErrnoText.h"

#include <cerrno>

std::string ErrnoText(int code) {
    switch (code) {
    case EPERM:
        return "不允许的操作";
    case ENOENT:
        return "文件或目录不存在";
    case EINTR:
        return "操作被中断";
    case EIO:
        return "输入/输出错误";
    case ENXIO:
        return "设备不存在或未连接";
    case EBADF:
        return "文件未打开";
    case EAGAIN:
        return "资源暂时不可用";
    case ENOMEM:
        return "内存不足";
    case EACCES:
        return "没有访问权限";
    case EBUSY:
        return "设备正被占用";
    case EEXIST:
        return "文件已存在";
    case ENODEV:
        return "没有这个设备";
    case ENOTDIR:
        return "路径中有一项不是文件夹";
    case EISDIR:
        return "这是一个文件夹";
    case EINVAL:
        return "无效的参数";
    case ENFILE:
    case EMFILE:
        return "打开的文件过多";
    case ENOTTY:
        return "不是串口设备";
    case EFBIG:
        return "文件太大";
    case ENOSPC:
        return "磁盘空间不足";
    case EROFS:
        return "文件系统是只读的";
    case EPIPE:
        return "连接已断开";
    case ENAMETOOLONG:
        return "文件名太长";
    case ELOOP:
        return "符号链接层数过多";
    case EDQUOT:
        return "超出磁盘配额";
    case ETIMEDOUT:
        return "操作超时";
    case ECONNREFUSED:
        return "连接被拒绝";
    case EHOSTUNREACH:
        return "无法到达主机";
    case ECONNRESET:
        return "连接被对方重置";
    default:
        return "系统错误（" + std::to_string(code) + "）";
    }
}
