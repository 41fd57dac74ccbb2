try {
    const saved = {{snapshot}};
    // Each key is written in its own try so that one value over the quota does not cost the
    // others.
    const restore = (storage, values) => {
        if (!storage || !values || typeof values !== 'object') {
            return;
        }
        for (const key of Object.keys(values)) {
            try {
                if (storage.getItem(key) === null) {
                    storage.setItem(key, values[key]);
                }
            } catch (e) {}
        }
    };
    restore(window.localStorage, saved.localStorage || {});
    restore(window.sessionStorage, saved.sessionStorage || {});
} catch (e) {}
