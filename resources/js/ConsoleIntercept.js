(function () {
    if (window.__consoleIntercepted) return;
    window.__consoleIntercepted = true;
    function bridge(type, original) {
        return function () {
            original.apply(console, arguments);
            try {
                var handlers = window.webkit && window.webkit.messageHandlers;
                if (handlers && handlers.logHandler) {
                    var parts = [];
                    for (var i = 0; i < arguments.length; i++) parts.push(String(arguments[i]));
                    handlers.logHandler.postMessage({type: type, message: parts.join(" ")});
                }
            } catch (error) {}
        };
    }
    console.log = bridge("log", console.log);
    console.error = bridge("error", console.error);
})();
