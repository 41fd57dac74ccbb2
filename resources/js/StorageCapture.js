(function() {
    try {
        var localStorageData = Object.create(null);
        var sessionStorageData = Object.create(null);
        for (var i = 0; i < localStorage.length; i++) {
            var key = localStorage.key(i);
            if (!key) continue;
            try { localStorageData[key] = localStorage.getItem(key); } catch (e) {}
        }
        for (var j = 0; j < sessionStorage.length; j++) {
            var sessionKey = sessionStorage.key(j);
            if (!sessionKey) continue;
            try { sessionStorageData[sessionKey] = sessionStorage.getItem(sessionKey); } catch (e) {}
        }
        return JSON.stringify({ localStorage: localStorageData, sessionStorage: sessionStorageData });
    } catch (e) {
        return JSON.stringify({ localStorage: {}, sessionStorage: {} });
    }
})();
