#include "service/MessengerLook.h"

namespace orvi::test::pages {

std::string messengerStyle() {
    return R"CSS(
* { box-sizing: border-box; }
html, body { height: 100%; margin: 0; }
body { font: 14px/1.4 "Cantarell", "Noto Sans", "DejaVu Sans", sans-serif; color: #1c1d21; background: #e9edf2; }
#login-form:not([hidden]) { display: flex; flex-direction: column; gap: 12px; max-width: 320px; margin: 15vh auto;
  padding: 28px; background: #fff; border-radius: 14px; box-shadow: 0 6px 24px rgba(20, 40, 80, .12); }
#login-form input { padding: 10px 12px; border: 1px solid #c9d1dc; border-radius: 8px; font: inherit; }
#login-form button, .composer button { padding: 10px 14px; border: 0; border-radius: 8px; background: #3a76f0; color: #fff; font: inherit; font-weight: 600; cursor: pointer; }
.app:not([hidden]) { display: flex; height: 100vh; }
.sidebar { width: 300px; min-width: 0; display: flex; flex-direction: column; background: #fff; border-right: 1px solid #dde3ea; }
.sidebar-head { padding: 10px 12px 6px; }
.brand { font-weight: 700; font-size: 17px; color: #3a76f0; }
.search { width: 100%; margin-top: 8px; padding: 7px 10px; border: 0; border-radius: 8px; background: #eef1f5; font: inherit; }
.folders { display: flex; gap: 4px; padding: 4px 12px 8px; border-bottom: 1px solid #eef1f5; overflow-x: auto; }
.folders button { padding: 4px 10px; border: 0; border-radius: 12px; background: transparent; color: #5b6675; font: inherit; font-size: 13px; cursor: pointer; white-space: nowrap; }
.folders button.active { background: #e3ecfe; color: #2a5fd0; }
.chat-list { list-style: none; margin: 0; padding: 4px 0; overflow-y: auto; flex: 1; }
.chat { display: grid; grid-template-columns: 42px 1fr auto; grid-template-rows: auto auto; column-gap: 10px; align-items: center; padding: 8px 12px; cursor: pointer; }
.chat:hover { background: #f4f6f9; }
.chat.active { background: #3a76f0; color: #fff; }
.chat .avatar { grid-row: 1 / 3; }
.chat-name { font-weight: 600; white-space: nowrap; overflow: hidden; text-overflow: ellipsis; }
.chat-time { font-size: 12px; color: #8a94a3; justify-self: end; }
.chat-preview { font-size: 13px; color: #6b7583; white-space: nowrap; overflow: hidden; text-overflow: ellipsis; }
.chat.active .chat-time, .chat.active .chat-preview { color: #dfe8fd; }
.unread-counter { justify-self: end; min-width: 20px; padding: 1px 6px; border-radius: 10px; background: #3a76f0; color: #fff; font-size: 12px; font-weight: 600; text-align: center; }
.chat.active .unread-counter { background: #fff; color: #3a76f0; }
.avatar { width: 42px; height: 42px; border-radius: 50%; display: flex; align-items: center; justify-content: center; color: #fff; font-weight: 700; font-size: 17px; background: #7a8bff; }
.links { display: flex; flex-wrap: wrap; gap: 4px 12px; padding: 8px 12px; border-top: 1px solid #eef1f5; font-size: 12px; }
.links a { color: #5b6675; }
.conversation { flex: 1; min-width: 0; display: flex; flex-direction: column; background: #dfe6ee; }
.conversation-head { display: flex; align-items: center; gap: 10px; padding: 8px 14px; background: #fff; border-bottom: 1px solid #dde3ea; }
.conversation-head .avatar { width: 36px; height: 36px; font-size: 15px; }
.conversation-title { font-weight: 600; }
.conversation-status { font-size: 12px; color: #3a9b5c; }
.messages { flex: 1; overflow-y: auto; padding: 12px 14px; display: flex; flex-direction: column; gap: 6px; }
.day { align-self: center; padding: 2px 10px; border-radius: 10px; background: rgba(0, 0, 0, .12); color: #fff; font-size: 12px; }
.message { max-width: 78%; padding: 7px 10px 5px; border-radius: 12px; box-shadow: 0 1px 1px rgba(0, 0, 0, .08); }
.message p { margin: 0; overflow-wrap: anywhere; }
.message time { display: block; text-align: right; font-size: 11px; color: #8a94a3; }
.incoming { align-self: flex-start; background: #fff; border-bottom-left-radius: 4px; }
.outgoing { align-self: flex-end; background: #d9f2c9; border-bottom-right-radius: 4px; }
.file-card { display: flex; align-items: center; gap: 10px; }
.file-card::before { content: ""; flex: none; width: 36px; height: 36px; border-radius: 8px; background: #3a76f0 linear-gradient(135deg, transparent 70%, rgba(255, 255, 255, .45) 70%); }
.file-card .file-meta { display: flex; flex-direction: column; min-width: 0; }
.file-card .attachment { padding: 0; border: 0; background: none; font: inherit; text-align: left; cursor: pointer; }
.file-card .filename, .file-card .file-meta > a:first-child { font-weight: 600; color: #1c1d21; text-decoration: none; overflow-wrap: anywhere; }
.file-card .file-size { font-size: 12px; color: #8a94a3; }
.file-card .download-link { font-size: 12px; color: #3a76f0; }
.photo .picture { width: 180px; height: 120px; border-radius: 8px; background: linear-gradient(135deg, #9bc4ff, #f7b7d2); }
.photo img { display: block; width: 100%; height: 100%; border-radius: 8px; opacity: .2; }
.composer { display: flex; gap: 8px; padding: 8px 12px; background: #fff; border-top: 1px solid #dde3ea; }
.composer input { flex: 1; min-width: 0; padding: 9px 12px; border: 0; border-radius: 18px; background: #eef1f5; font: inherit; }
@media (max-width: 640px) {
  .app:not([hidden]) { flex-direction: column; }
  .sidebar { width: auto; max-height: 42vh; border-right: 0; border-bottom: 1px solid #dde3ea; }
  .sidebar-head { display: flex; align-items: center; gap: 10px; }
  .search { margin-top: 0; }
  .chat { padding: 6px 12px; }
  .chat .avatar { width: 36px; height: 36px; font-size: 15px; }
  .chat { grid-template-columns: 36px 1fr auto; }
}
)CSS";
}

} // namespace orvi::test::pages
